#!/usr/bin/env bash
# Fails when a shipped Windows binary needs a DLL that Windows does not have
# (the compiler's runtime, libwinpthread): everything else is linked -static.
set -eu
system="advapi32 comctl32 comdlg32 gdi32 kernel32 msvcrt msvfw32 ole32 oleaut32 rpcrt4 shell32 shlwapi user32 version"
status=0
for binary in "$@"; do
  for dll in $(i686-w64-mingw32-objdump -p "$binary" | awk '/DLL Name/ {print $3}'); do
    name=$(echo "${dll%.*}" | tr 'A-Z' 'a-z')
    case " $system " in
      *" $name "*) ;;
      *) echo "$binary needs $dll, which Windows does not ship"; status=1 ;;
    esac
  done
done
[ $status -eq 0 ] && echo "only system DLLs: $*"
exit $status
