#!/usr/bin/env bash
# Tells whether this machine can execute 32-bit x86 code, by running a
# 91-byte static i386 program that only exits. Some hypervisors refuse such
# code ("Exec format error"), and 32-bit Wine cannot run there at all.
# Exit status 0 and "32-bit code: yes" when it can, 1 and the reason when not.
set -u
probe=$(mktemp "${TMPDIR:-/tmp}/vellisto-probe32.XXXXXX")
trap 'rm -f "$probe"' EXIT
{
  # ELF header: 32-bit, little-endian, executable for i386, entry 0x08048054,
  # one program header at byte 52.
  printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  printf '\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  printf '\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  # Program header: the whole file loaded at 0x08048000, readable and executable.
  printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
  printf '\x5b\x00\x00\x00\x5b\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
  # xor ebx, ebx; xor eax, eax; inc eax; int 0x80: exit(0).
  printf '\x31\xdb\x31\xc0\x40\xcd\x80'
} >"$probe"
chmod +x "$probe"
if error=$("$probe" 2>&1); then
  echo "32-bit code: yes"
  exit 0
fi
echo "32-bit code: no: this machine cannot execute 32-bit x86 programs (${error##*: }), so 32-bit Wine cannot run here"
exit 1
