#!/usr/bin/env bash
# Sets up what is missing, checks the layout and formatting of the sources,
# builds the named presets (every preset by default) and runs their tests:
# natively, natively with AddressSanitizer and UndefinedBehaviorSanitizer
# (and a short fuzzing session), and each Windows build under the Wine of
# its architecture inside one X server.
#   scripts/test-all.sh [PRESET...]     presets: native native-asan win64 win32
# The win32 build is always built and its binaries checked; its tests under
# Wine run only where this machine can execute 32-bit code, and the output
# says so in one line where it cannot.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

all=(native native-asan win64 win32)
presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=("${all[@]}")
for preset in "${presets[@]}"; do
  [[ " ${all[*]} " == *" $preset "* ]] || { echo "unknown preset: $preset (${all[*]})" >&2; exit 2; }
done

status=0
echo "== format"
# Every tracked C and C++ source; generated files live in the build trees
# and no third-party source is kept in the repository.
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format-14 --dry-run -Werror || status=1

jobs=$(nproc)
for preset in "${presets[@]}"; do
  echo "== build: $preset"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

summary=()
for preset in "${presets[@]}"; do
  echo "== test: $preset"
  case "$preset" in
    win32 | win64)
      only_checks=()
      if [ "$preset" = win32 ]; then
        if ! scripts/probe-32bit.sh >/dev/null; then
          why="this machine cannot execute 32-bit code"
        elif ! command -v wine >/dev/null || ! dpkg-query -W wine32:i386 >/dev/null 2>&1; then
          why="32-bit Wine is not installed (see scripts/bootstrap.sh)"
        else
          why=""
        fi
        if [ -n "$why" ]; then
          only_checks=(-LE wine)
          echo "win32: its tests under Wine are left out: $why; its binaries are checked"
        fi
      fi
      # 24-bit: pixels read back from windows are exact (the default is 8-bit).
      if xvfb-run -a -s '-screen 0 1024x768x24' ctest --preset "$preset" "${only_checks[@]}"; then
        if [ ${#only_checks[@]} -eq 0 ]; then
          summary+=("$preset: built, checked and tested under Wine")
        else
          summary+=("$preset: built and checked; its tests were not run: $why")
        fi
      else
        status=1
        summary+=("$preset: FAILED")
      fi
      ;;
    *)
      if ctest --preset "$preset" -j "$jobs"; then
        summary+=("$preset: built and tested")
      else
        status=1
        summary+=("$preset: FAILED")
      fi
      ;;
  esac
done

echo "== summary"
printf '%s\n' "${summary[@]}"
exit $status
