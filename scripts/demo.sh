#!/usr/bin/env bash
# Sets up what is missing, builds, and shows the sample document the build
# makes: first with the tvd tool (a check, a dump, a value read and changed),
# then through Vellisto.dll itself, driven under Wine by the reference host
# exactly as the host application drives it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
root=$PWD
cmake --preset native -G Ninja >/dev/null
cmake --build --preset native -j "$(nproc)" --target tvd sample
cmake --preset win32 -G Ninja >/dev/null
cmake --build --preset win32 -j "$(nproc)" --target Vellisto tvdhost

tvd=$root/build/native/tools/tvd/tvd
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$root/build/native/sample.tvd" "$work/sample.tvd"
cd "$work"

echo "== the tvd tool"
set -x
"$tvd" check sample.tvd
"$tvd" dump sample.tvd
"$tvd" get sample.tvd Card '*no'
"$tvd" set sample.tvd Card Title "Pump housing, cast" --type text
"$tvd" get sample.tvd Card Title
{ set +x; } 2>/dev/null

echo "== Vellisto.dll under Wine, driven by the reference host"
export VELLISTO_WINEPREFIX=$root/build/win32/wineprefix
"$root/scripts/wine-prefix.sh"
run=$root/build/win32/wine-run
winpath() { "$run" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
dll=$(winpath "$root/build/win32/bin/Vellisto.dll")
file=$(winpath "$work/sample.tvd")
printf 'info\nopen %s\nget Card Title Number "Part No"\nget Revision Date*\nset Mass "Weight kg" 12.5 --type r8\nsave\nget Mass *kg\n' "$file" |
  "$run" "$root/build/win32/bin/tvdhost.exe" --dll "$dll" | tr -d '\r'
"$tvd" get sample.tvd Mass 'Weight kg'
