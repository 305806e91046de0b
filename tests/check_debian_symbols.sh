#!/usr/bin/env bash
# debian/libquorbel1.symbols, which dpkg-gensymbols reads from the tree,
# names the library's SONAME and exactly the functions it exports: a
# function exported but missing there fails the package build, and one
# there but no longer exported breaks the ABI the package promised.
#   check_debian_symbols.sh SYMBOLS_FILE SOVERSION FUNCTION...
set -eu
file=$1
soversion=$2
shift 2
expected=$(printf '%s\n' "$@" | LC_ALL=C sort)

first=$(head -n 1 "$file")
[ "$first" = "libquorbel.so.$soversion libquorbel$soversion #MINVER#" ] ||
  { echo "$file is for '$first', not libquorbel.so.$soversion in libquorbel$soversion"; exit 1; }
listed=$(sed -n 's/^ \([^@ ]*\)@Base .*/\1/p' "$file" | LC_ALL=C sort)
[ "$listed" = "$expected" ] ||
  { echo "$file lists:"; echo "$listed"; echo "export/exports.txt lists:"; echo "$expected"; exit 1; }
echo "$(basename "$file"): $* in libquorbel$soversion"
