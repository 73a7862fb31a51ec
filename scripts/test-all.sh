#!/usr/bin/env bash
# Sets up what is missing, checks the layout and formatting of the sources,
# builds the named presets (every preset by default) and runs their tests:
# natively, natively with AddressSanitizer and UndefinedBehaviorSanitizer
# (and a short fuzzing session), and the Windows build under Wine inside one
# X server.
#   scripts/test-all.sh [PRESET...]     presets: native native-asan win32
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

all=(native native-asan win32)
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
  cmake --preset "$preset" -G Ninja >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

for preset in "${presets[@]}"; do
  echo "== test: $preset"
  if [ "$preset" = win32 ]; then
    # 24-bit: pixels read back from windows are exact (the default is 8-bit).
    xvfb-run -a -s '-screen 0 1024x768x24' ctest --preset "$preset" || status=1
  else
    ctest --preset "$preset" -j "$jobs" || status=1
  fi
done
exit $status
