#!/usr/bin/env bash
# QUORBEL.dll names itself QUORBEL.dll and exports the functions named
# alone, by name and by ordinal in the order given, the first as 1. It needs
# nothing but the system's KERNEL32.dll and msvcrt.dll, and carries no static initialisers: nothing of its own runs
# at load but its entry point.
#   check_dll_exports.sh OBJDUMP DLL FUNCTION...
set -eu
objdump=$1
dll=$2
shift 2
count=$#
# objdump lists the names in name order, each with its ordinal less the base.
expected=$(for ((i = 1; i <= count; i++)); do echo "$((i - 1)) ${!i}"; done | LC_ALL=C sort -k2)

table=$("$objdump" -p "$dll")
fail() { echo "$1"; echo "$table" | sed -n '/There is an export table/,/^The Function Table/p'; exit 1; }

name=$(echo "$table" | sed -n 's/^Name[[:space:]]*[0-9a-f]* //p')
[ "$name" = QUORBEL.dll ] || fail "the export table names '$name', not QUORBEL.dll"

addresses=$(echo "$table" | sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' | grep -c 'Export RVA' || true)
base=$(echo "$table" | sed -n 's/^Ordinal Base[[:space:]]*//p')
names=$(echo "$table" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p')
[ "$addresses" = "$count" ] || fail "the DLL exports $addresses addresses, not $count"
[ "$base" = 1 ] || fail "the ordinal base is $base, not 1"
[ "$names" = "$expected" ] || fail "the exported names and ordinals are not $*, from 1: $names"
imports=$(echo "$table" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] || fail "the DLL imports $imports"
initialisers=$("$objdump" -t "$dll" | grep -c '_GLOBAL__sub_I' || true)
[ "$initialisers" = 0 ] || fail "the DLL has $initialisers static initialisers"
echo "exports: $* alone, from ordinal 1, in QUORBEL.dll; imports: $imports"
