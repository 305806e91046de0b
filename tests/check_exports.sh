#!/usr/bin/env bash
# The shared library exports WriteMIDI and nothing else, under its SONAME.
set -eu
library=$1
expected_soname=$2
version=$3

if [ "$(basename "$library")" != "libquorbel.so.$version" ]; then
  echo "the library is $(basename "$library"), not libquorbel.so.$version"; exit 1
fi
symbols=$(nm -D --defined-only "$library" | awk '{print $3}')
if [ "$symbols" != "WriteMIDI" ]; then
  echo "exported symbols are not just WriteMIDI:"; echo "$symbols"; exit 1
fi
if ! nm -D --defined-only "$library" | grep -q ' T WriteMIDI$'; then
  echo "WriteMIDI is not an exported function"; exit 1
fi
soname=$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
if [ "$soname" != "$expected_soname" ]; then
  echo "SONAME is '$soname', not '$expected_soname'"; exit 1
fi
echo "exports: WriteMIDI alone, SONAME $soname"
