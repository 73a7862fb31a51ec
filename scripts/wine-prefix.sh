#!/usr/bin/env bash
# Creates a fresh 32-bit Wine prefix for one test run and starts its server
# detached, so that no test waits on Wine's service processes.
set -eu
export WINEPREFIX="${VELLISTO_WINEPREFIX:-${TMPDIR:-/tmp}/vellisto-wine-$(id -u)}"
export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ "${1:-}" = "--fresh" ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineserver -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  wineboot -i </dev/null >/dev/null 2>&1
fi
wineserver -p30 </dev/null >/dev/null 2>&1 || true  # already running after wineboot
wine cmd /c exit </dev/null >/dev/null 2>&1
