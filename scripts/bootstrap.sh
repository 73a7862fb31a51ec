#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages only.
# Idempotent: when every package is present it only checks and returns.
#
# 32-bit Wine (the i386 architecture, wine32:i386) is installed only where this
# machine can execute 32-bit code; elsewhere the 32-bit build is still built
# and checked, and its tests are left out. An index that a mirror serves
# broken is retried, then tolerated when the packages can still be installed.
set -euo pipefail
scripts=$(cd "$(dirname "$0")" && pwd)

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev
  g++-mingw-w64-i686-posix mingw-w64-i686-dev binutils-mingw-w64-i686
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 mingw-w64-tools
  wine64 libwine-dev xvfb xauth
  googletest libgtest-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev clang-format-14
  python3 help2man
)
wine32=()
if "$scripts/probe-32bit.sh" >/dev/null; then
  wine32=(wine wine32:i386)
fi

missing=()
for p in "${packages[@]}" "${wine32[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
if [ ${#wine32[@]} -gt 0 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
echo "bootstrap: installing ${missing[*]}" >&2

# A mirror in the middle of a sync serves an index of the wrong size, and
# apt-get update then fails as a whole although most suites were read.
updated=false
for attempt in 1 2 3; do
  if $sudo apt-get update -qq; then
    updated=true
    break
  fi
  [ $attempt -lt 3 ] && sleep $((attempt * 5))
done
$updated || echo "bootstrap: the package index could not be updated in full; trying with what was read" >&2

install() { $sudo apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
if ! install "${missing[@]}"; then
  # The i386 twin of a library (Multi-Arch: same) must have the amd64 one's
  # version; when the security suite updated only the amd64 side, the main
  # suite's versions of both fit.
  suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  if [ -z "$suite" ] || ! install -t "$suite" "${missing[@]}"; then
    # Without 32-bit Wine everything but the 32-bit build's tests still runs.
    rest=()
    for p in "${missing[@]}"; do
      [[ " ${wine32[*]} " == *" $p "* ]] || rest+=("$p")
    done
    if [ ${#rest[@]} -lt ${#missing[@]} ] && { [ ${#rest[@]} -eq 0 ] || install "${rest[@]}"; }; then
      echo "bootstrap: 32-bit Wine (${wine32[*]}) could not be installed, so the win32 tests" \
        "will not run; run 'apt-get update' until it succeeds, then run this script again." >&2
      exit 0
    fi
    echo "bootstrap: could not install ${missing[*]} from Debian's packages;" \
      "run 'apt-get update' until it succeeds (a mirror may be syncing), then run this script again." >&2
    exit 1
  fi
fi
