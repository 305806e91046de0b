#!/usr/bin/env bash
# QUORBEL.dll starts at QuorbelEntryPoint. With no entry point the loader
# runs neither the C runtime's start-up nor the attach and detach
# registration, yet the DLL still loads and WriteMIDI still works.
#   check_dll_entry_point.sh OBJDUMP NM DLL
set -euo pipefail
objdump=$1
nm=$2
dll=$3

headers=$("$objdump" -p "$dll")
entry=$(sed -n 's/^AddressOfEntryPoint[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$headers")
base=$(sed -n 's/^ImageBase[[:space:]]*\([0-9a-fA-F]*\).*/\1/p' <<<"$headers")
[ -n "$entry" ] && [ -n "$base" ] || { echo "no AddressOfEntryPoint or ImageBase in the headers"; exit 1; }
[ $((16#$entry)) -ne 0 ] || { echo "AddressOfEntryPoint is 0: the DLL has no entry point"; exit 1; }

# The symbol is decorated on 32-bit Windows (_QuorbelEntryPoint@12).
symbol=$("$nm" "$dll" | awk '$3 ~ /^_?QuorbelEntryPoint(@12)?$/ && !found {print $1; found = 1}')
[ -n "$symbol" ] || { echo "QuorbelEntryPoint is not in the symbol table"; exit 1; }
[ $((16#$symbol - 16#$base)) -eq $((16#$entry)) ] ||
  { echo "the entry point 0x$entry is not QuorbelEntryPoint (0x$symbol at base 0x$base)"; exit 1; }
echo "entry point: QuorbelEntryPoint at 0x$entry"
