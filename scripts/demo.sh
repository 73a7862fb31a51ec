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
# The demo's own prefix: the test runs recreate theirs, and the preview below
# installs a host entry in it.
export VELLISTO_WINEPREFIX=$root/build/win32/demo-wineprefix
"$root/scripts/wine-prefix.sh"
run=$root/scripts/wine-run.sh  # honours VELLISTO_WINEPREFIX
winpath() { "$run" winepath -w "$1" 2>/dev/null | tr -d '\r'; }
dll=$(winpath "$root/build/win32/bin/Vellisto.dll")
file=$(winpath "$work/sample.tvd")
printf 'info\nopen %s\nget Card Title Number "Part No"\nget Revision Date*\nset Mass "Weight kg" 12.5 --type r8\nsave\nget Mass *kg\n' "$file" |
  "$run" "$root/build/win32/bin/tvdhost.exe" --dll "$dll" | tr -d '\r'
"$tvd" get sample.tvd Mass 'Weight kg'

echo "== the preview, as the host's preview pane shows it"
(cd "$root" && cmake --build --preset win32 -j "$(nproc)" --target sample_resource_library)
# The host's installation entry points at the sample resource library, whose
# bitmap 208 is the document-type icon. The preview needs a display: the
# prefix's server restarts inside one X server (24-bit, so colours are exact).
sample=$(winpath "$root/build/win32/bin/sample")
png=$root/build/win32/demo/preview.png
mkdir -p "$(dirname "$png")"
rm -f "$png"
WINEPREFIX=$VELLISTO_WINEPREFIX wineserver -k 2>/dev/null || true
WINEPREFIX=$VELLISTO_WINEPREFIX wineserver -w 2>/dev/null || true
xvfb-run -a -s '-screen 0 1024x768x24' sh -c '
  "$1/scripts/wine-prefix.sh"
  "$2" reg add "HKLM\\Software\\Ferrolanth\\Applications\\Quilmoor Enterprise" /v Location /t REG_SZ /d "$3" /f >/dev/null
  "$2" "$1/build/win32/bin/tvdhost.exe" --dll "$4" preview "$5" --size 320x200 \
    --caption "Tavorin Virtual Document" --png "$6"
  status=$?
  WINEPREFIX=$VELLISTO_WINEPREFIX wineserver -k 2>/dev/null
  exit $status' sh "$root" "$run" "$sample" "$dll" "$file" "$(winpath "$png")" | tr -d '\r'
echo "preview: $png"
