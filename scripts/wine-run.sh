#!/usr/bin/env bash
# Runs a Windows program under 32-bit Wine in the test run's own prefix.
# VELLISTO_WINEPREFIX names the prefix; scripts/wine-prefix.sh creates it.
export WINEPREFIX="${VELLISTO_WINEPREFIX:-${TMPDIR:-/tmp}/vellisto-wine-$(id -u)}"
export WINEARCH=win32
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
# The ANSI code page follows the Unix locale: pin it (1252) unless a test asks.
export LANG="${VELLISTO_WINE_LANG:-C.UTF-8}"
exec wine "$@"
