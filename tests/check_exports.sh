#!/usr/bin/env bash
# The shared library exports the functions named and nothing else, under
# its SONAME.
#   check_exports.sh LIBRARY SONAME VERSION FUNCTION...
set -eu
library=$1
expected_soname=$2
version=$3
shift 3
expected=$(printf '%s\n' "$@" | LC_ALL=C sort)

if [ "$(basename "$library")" != "libquorbel.so.$version" ]; then
  echo "the library is $(basename "$library"), not libquorbel.so.$version"; exit 1
fi
defined=$(nm -D --defined-only "$library")
symbols=$(echo "$defined" | awk '{print $3}' | LC_ALL=C sort)
if [ "$symbols" != "$expected" ]; then
  echo "exported symbols are not just $*:"; echo "$symbols"; exit 1
fi
for name in "$@"; do
  echo "$defined" | grep -q " T $name\$" || { echo "$name is not an exported function"; exit 1; }
done
soname=$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
if [ "$soname" != "$expected_soname" ]; then
  echo "SONAME is '$soname', not '$expected_soname'"; exit 1
fi
echo "exports: $* alone, SONAME $soname"
