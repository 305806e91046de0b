#!/usr/bin/env bash
# QUORBEL.dll names itself QUORBEL.dll and exports WriteMIDI alone, by name
# and as ordinal 1. It needs nothing but the system's KERNEL32.dll and
# msvcrt.dll, and carries no static initialisers: nothing of its own runs
# at load but its entry point.
set -eu
objdump=$1
dll=$2

table=$("$objdump" -p "$dll")
fail() { echo "$1"; echo "$table" | sed -n '/There is an export table/,/^The Function Table/p'; exit 1; }

name=$(echo "$table" | sed -n 's/^Name[[:space:]]*[0-9a-f]* //p')
[ "$name" = QUORBEL.dll ] || fail "the export table names '$name', not QUORBEL.dll"

addresses=$(echo "$table" | sed -n '/^Export Address Table -- Ordinal Base/,/^$/p' | grep -c 'Export RVA' || true)
base=$(echo "$table" | sed -n 's/^Ordinal Base[[:space:]]*//p')
names=$(echo "$table" | sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^[[:space:]]*\[ *\([0-9]*\)\] \(.*\)$/\1 \2/p')
[ "$addresses" = 1 ] || fail "the DLL exports $addresses addresses, not 1"
[ "$base" = 1 ] || fail "the ordinal base is $base, not 1"
[ "$names" = "0 WriteMIDI" ] || fail "the exported names are not WriteMIDI alone at ordinal 1: $names"
imports=$(echo "$table" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort | tr '\n' ' ')
[ "$imports" = "KERNEL32.dll msvcrt.dll " ] || fail "the DLL imports $imports"
initialisers=$("$objdump" -t "$dll" | grep -c '_GLOBAL__sub_I' || true)
[ "$initialisers" = 0 ] || fail "the DLL has $initialisers static initialisers"
echo "exports: WriteMIDI alone, ordinal 1, in QUORBEL.dll; imports: $imports"
