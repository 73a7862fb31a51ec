# Sourced by the Wine scripts: the prefix, the architecture and the programs
# that run it, in one place.
#   VELLISTO_WINEPREFIX  the prefix (default: one per user in $TMPDIR)
#   VELLISTO_WINE_ARCH   win32 (32-bit Wine, the `wine` loader) or win64
#                        (64-bit Wine, called directly: the `wine` wrapper
#                        tries the 32-bit loader first, which fails on
#                        machines that cannot run 32-bit code)
export WINEPREFIX="${VELLISTO_WINEPREFIX:-${TMPDIR:-/tmp}/vellisto-wine-$(id -u)}"
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
case "${VELLISTO_WINE_ARCH:-win32}" in
  win64)
    export WINEARCH=win64
    wine_loader=/usr/lib/wine/wine64
    wine_server=/usr/lib/wine/wineserver64
    export WINESERVER=$wine_server
    ;;
  win32)
    export WINEARCH=win32
    wine_loader=wine
    wine_server=wineserver
    ;;
  *)
    echo "VELLISTO_WINE_ARCH must be win32 or win64, not '$VELLISTO_WINE_ARCH'" >&2
    exit 2
    ;;
esac
