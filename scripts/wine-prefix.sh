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
  # wineboot leaves a server behind that quits as soon as it is idle, and a
  # second server cannot start beside it: wait for it to go, so that the
  # one below stays between tests.
  wineserver -w </dev/null >/dev/null 2>&1 || true
fi
wineserver -p30 </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1
