#!/usr/bin/env bash
# Sets up what is missing, builds every preset and runs every test: natively,
# natively with AddressSanitizer and UndefinedBehaviorSanitizer (and a short
# fuzzing session), and the Windows build under Wine inside one X server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/bootstrap.sh

jobs=$(nproc)
presets=(native native-asan win32)
for preset in "${presets[@]}"; do
  echo "== build: $preset"
  cmake --preset "$preset" -G Ninja >/dev/null
  cmake --build --preset "$preset" -j "$jobs"
done

status=0
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
