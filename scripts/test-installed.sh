#!/usr/bin/env bash
# Installs the Windows build BUILD_DIR into a fresh temporary folder and runs
# that tree's own run-tests.cmd under Wine, as an engineer would on Windows.
#   test-installed.sh BUILD_DIR [ARGS for every test program...]
set -euo pipefail
build=$(cd "$1" && pwd)
shift
tree=$(mktemp -d "${TMPDIR:-/tmp}/vellisto-installed.XXXXXX")
trap 'rm -rf "$tree"' EXIT
cmake --install "$build" --prefix "$tree" >/dev/null
cd "$tree"
"$build/wine-run" cmd /c run-tests.cmd "$@"
