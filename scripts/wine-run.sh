#!/usr/bin/env bash
# Runs a Windows program under Wine in the test run's own prefix, with the
# Wine of the build's architecture (scripts/wine-env.sh).
. "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
# The ANSI code page follows the Unix locale: pin it (1252) unless a test asks.
export LANG="${VELLISTO_WINE_LANG:-C.UTF-8}"
exec "$wine_loader" "$@"
