#!/usr/bin/env bash
# A MinGW build folder's DLL, tool and import libraries, linked again from
# the same objects a second or more later, are the same bytes, and the DLL
# and tool name no folder of the build: two builds of the same sources give
# the same files, so a download can be checked against its sources.
#   .ci/check-windows-reproducible.sh BUILD_DIR
set -euo pipefail
build=$1
files=(bin/QUORBEL.dll bin/quorbel.exe export/libquorbel.dll.a export/quorbel.lib)
first=$(mktemp -d)
trap 'rm -rf "$first"' EXIT
for file in "${files[@]}"; do
  mkdir -p "$first/$(dirname "$file")"
  mv "$build/$file" "$first/$file"
done
# The time of a link is counted in seconds: one second apart, it differs.
sleep 1
cmake --build "$build" --target quorbel quorbel_tool quorbel_msvc_import_library >/dev/null
for file in "${files[@]}"; do
  cmp "$first/$file" "$build/$file" || { echo "$file differs from one link to the next"; exit 1; }
done
for file in bin/QUORBEL.dll bin/quorbel.exe; do
  if grep -qF "$PWD" "$build/$file"; then
    echo "$file names the folder it was built in, $PWD"; exit 1
  fi
done
echo "reproducible: ${files[*]} the same from one link to the next, with no build folder inside"
