#!/usr/bin/env bash
# The Windows download, as a Windows developer gets it: `cpack -G ZIP` from
# a MinGW build, unpacked, checked for every file a developer needs, and
# used from the unpacked files alone: hosts built against the header and
# each import library run under Wine beside the zip's own DLL, as does the
# zip's tool, and each writes the documented example.
#   .ci/check-windows-zip.sh PRESET BUILD_DIR win64|win32
set -euo pipefail
preset=$1
build=$2
system=$3
case $system in
  win64) target=x86_64-w64-mingw32; wine=(bash "$PWD/cmake/wine-run.sh") ;;
  win32) target=i686-w64-mingw32; wine=(bash "$PWD/cmake/wine-run.sh" --win32) ;;
  *) echo "check-windows-zip.sh: win64 or win32, not $system" >&2; exit 2 ;;
esac

cmake --preset "$preset" -B "$build" -DQUORBEL_BUILD_TESTS=OFF -DQUORBEL_BUILD_TOOL=ON
cmake --build "$build"
(cd "$build" && rm -f ./*.zip && cpack -G ZIP)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip="$build/quorbel-$version-$system.zip"
[ -f "$zip" ] || { echo "cpack made no $zip:"; ls "$build"/*.zip; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
root="$work/quorbel-$version-$system"
for file in bin/QUORBEL.dll bin/quorbel.exe include/quorbel/quorbel.h lib/libquorbel.dll.a \
            lib/quorbel.lib lib/quorbel.def lib/cmake/Quorbel/QuorbelConfig.cmake \
            lib/pkgconfig/quorbel.pc README.md LICENSE; do
  [ -f "$root/$file" ] || { echo "the zip lacks $file"; unzip -l "$zip"; exit 1; }
done
grep -q '^MIT License' "$root/LICENSE"
bash tests/check_dll_exports.sh "$target-objdump" "$root/bin/QUORBEL.dll"

# Hosts go beside the DLL, where Windows looks first; nothing of the build
# folder is on their way.
for import in libquorbel.dll.a quorbel.lib; do
  "$target-gcc" -std=c11 -Wall -Wextra -Werror -I"$root/include" \
    examples/c/write_midi.c "$root/lib/$import" -o "$root/bin/host-${import%%.*}.exe"
done

printf '\x4d\x54\x68\x64\x00\x00\x00\x06\x00\x00\x00\x01\x00\x60\x4d\x54\x72\x6b\x00\x00\x00\x2e\x00\xff\x03\x07track 1\x00\xff\x58\x04\x04\x02\x24\x08\x00\xff\x51\x03\x3d\x09\x00\x00\x90\x41\x7f\x30\x80\x41\x00\x00\x90\x42\x7f\x30\x80\x42\x00\x00\xff\x2f\x00' \
  >"$work/expected.mid"
export WINEPREFIX="$PWD/$build/wine-prefix"
# 32-bit Wine may be missing, or the kernel unable to run 32-bit programs.
if ! "${wine[@]}" --version >/dev/null 2>&1; then
  [ "$system" = win32 ] || { echo "Wine does not start"; exit 1; }
  echo "$(basename "$zip"): complete; its hosts are built but not run, as 32-bit Wine does not start here"
  exit 0
fi
cd "$work"
for host in "$root"/bin/host-*.exe; do
  rm -f written.mid
  "${wine[@]}" "$host" written.mid 48 AB
  cmp written.mid expected.mid
  echo "$(basename "$host"): wrote the 68-byte example through the unpacked QUORBEL.dll"
done
"${wine[@]}" "$root/bin/quorbel.exe" -t 48 -o tool.mid AB
cmp tool.mid expected.mid
echo "quorbel.exe: wrote the 68-byte example"
echo "$(basename "$zip"): complete, and runs from its own files"
