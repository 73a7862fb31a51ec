#!/usr/bin/env bash
# Sets up what is missing, builds, and shows the sample document the build
# makes: first with the tvd tool (a check, a dump, a value read and changed),
# then through Vellisto.dll itself under Wine, installed as a user installs
# it: in a fresh prefix with the host's installation entry, registered with
# regsvr32, found by its ProgID by the reference host exactly as the host
# application finds it, and unregistered at the end.
# The 32-bit plugin where this machine runs 32-bit Wine, else the 64-bit one;
# `scripts/demo.sh win32` or `scripts/demo.sh win64` chooses.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
root=$PWD
arch=${1:-}
if [ -z "$arch" ]; then
  arch=win64
  if scripts/probe-32bit.sh >/dev/null && command -v wine >/dev/null; then
    arch=win32
  fi
fi
case "$arch" in
  win32 | win64) ;;
  *) echo "usage: scripts/demo.sh [win32|win64]" >&2; exit 2 ;;
esac
bits=${arch#win}
echo "== the $arch plugin: the $bits-bit Vellisto.dll under $bits-bit Wine"
if [ "$arch" = win64 ]; then
  scripts/probe-32bit.sh | sed 's/^/   /' || true
fi
cmake --preset native >/dev/null
cmake --build --preset native -j "$(nproc)" --target tvd sample
cmake --preset "$arch" >/dev/null
cmake --build --preset "$arch" -j "$(nproc)" --target Vellisto tvdhost sample_resource_library

tvd=$root/build/native/tools/tvd/tvd
work=$(mktemp -d)
export VELLISTO_WINEPREFIX=$work/wineprefix VELLISTO_WINE_ARCH=$arch
trap '(. "$root/scripts/wine-env.sh" && "$wine_server" -k) >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
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

echo "== Vellisto.dll ($arch) under Wine: registered, and found by its ProgID by the reference host"
# A fresh prefix of the demo's own, inside one X server for the preview
# (24-bit, so colours are exact).
run=$root/scripts/wine-run.sh  # honours VELLISTO_WINEPREFIX and VELLISTO_WINE_ARCH
export run root work arch
xvfb-run -a -s '-screen 0 1024x768x24' bash -euo pipefail -c '
"$root/scripts/wine-prefix.sh" --fresh
winpath() { "$run" winepath -w "$1" 2>/dev/null | tr -d "\r"; }
# The host installation: its folder holds the resource library whose bitmap
# 208 is the document-type icon.
mkdir -p "$work/Quilmoor"
cp "$root/build/$arch/bin/sample/KivRes.dll" "$work/Quilmoor/"
"$run" reg add "HKLM\\Software\\Ferrolanth\\Applications\\Quilmoor Enterprise" \
  /v Location /d "$(winpath "$work/Quilmoor")" /f >/dev/null
dll=$(winpath "$root/build/$arch/bin/Vellisto.dll")
file=$(winpath "$work/sample.tvd")
host=$root/build/$arch/bin/tvdhost.exe
set -x
"$run" regsvr32 /s "$dll"
{ set +x; } 2>/dev/null
"$run" reg query "HKCR\\Vellisto.TvdFormat" /s | tr -d "\r"
printf "info\nopen %s\nget Card Title Number \"Part No\"\nget Revision Date*\nset Mass \"Weight kg\" 12.5 --type r8\nsave\nget Mass *kg\n" "$file" |
  "$run" "$host" | tr -d "\r"
"$root/build/native/tools/tvd/tvd" get "$work/sample.tvd" Mass "Weight kg"

echo "== the preview, as the host preview pane shows it"
png=$root/build/$arch/demo/preview.png
mkdir -p "$(dirname "$png")"
rm -f "$png"
"$run" "$host" preview "$file" --size 320x200 --caption "Tavorin Virtual Document" \
  --png "$(winpath "$png")" | tr -d "\r"

set -x
"$run" regsvr32 /s /u "$dll"
{ set +x; } 2>/dev/null
if "$run" reg query "HKCR\\Vellisto.TvdFormat" >/dev/null 2>&1; then
  echo "Vellisto.TvdFormat is still registered" >&2
  exit 1
fi
echo "unregistered: no Vellisto.TvdFormat below HKEY_CLASSES_ROOT"
echo "preview: $png ($arch)"
'
