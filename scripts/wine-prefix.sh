#!/usr/bin/env bash
# Creates a fresh Wine prefix for one test run (of the architecture that
# VELLISTO_WINE_ARCH names) and starts its server detached, so that no test
# waits on Wine's service processes. When Wine cannot start, it says why:
# Wine's own output, and whether this machine can run 32-bit code at all.
set -eu
scripts=$(dirname "${BASH_SOURCE[0]}")
. "$scripts/wine-env.sh"
log=$(mktemp "${TMPDIR:-/tmp}/vellisto-wineboot.XXXXXX")
trap 'rm -f "$log"' EXIT
fail() {
  echo "wine-prefix: $1 ($WINEARCH, $WINEPREFIX); Wine said:" >&2
  sed 's/^/  /' "$log" >&2
  if [ "$WINEARCH" = win32 ]; then
    "$scripts/probe-32bit.sh" >&2 || true
  fi
  exit 1
}
if [ "${1:-}" = "--fresh" ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine_server" -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  "$wine_loader" wineboot -i </dev/null >"$log" 2>&1 || fail "wineboot failed"
  # wineboot leaves a server behind that quits as soon as it is idle, and a
  # second server cannot start beside it: wait for it to go, so that the
  # one below stays between tests.
  "$wine_server" -w </dev/null >/dev/null 2>&1 || true
fi
# The server's own complaints (a protocol error that ends a program with
# exit code 1 and nothing on its standard error) are kept beside the prefix.
"$wine_server" -p30 </dev/null >/dev/null 2>>"$WINEPREFIX/wineserver.log" || true
"$wine_loader" cmd /c exit </dev/null >"$log" 2>&1 || fail "Wine cannot run a program"
