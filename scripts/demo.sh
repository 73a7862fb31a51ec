#!/usr/bin/env bash
# Sets up what is missing, builds the native tools and shows the sample
# document the build makes: a check, a full dump, one value read and changed.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh
cmake --preset native -G Ninja >/dev/null
cmake --build --preset native -j "$(nproc)" --target tvd sample

tvd=$PWD/build/native/tools/tvd/tvd
sample=$PWD/build/native/sample.tvd
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$sample" "$work/sample.tvd"
cd "$work"
set -x
"$tvd" check sample.tvd
"$tvd" dump sample.tvd
"$tvd" get sample.tvd Card '*no'
"$tvd" set sample.tvd Card Title "Pump housing, cast" --type text
"$tvd" get sample.tvd Card Title
