#!/usr/bin/env bash
# The Windows download, as a Windows developer gets it: `cpack -G ZIP` from
# a MinGW build, unpacked, checked for every file a developer needs, and
# used from the unpacked files alone: hosts built against the header and
# each import library run under Wine beside the zip's own DLL, as does the
# zip's tool, and each writes the documented example. An MSVC developer's
# link is made too, with the import library the CMake package gives them.
#   .ci/check-windows-zip.sh PRESET win64|win32
# The zip comes from the preset's own build folder: after the stage that
# built and tested it (80, 95) nothing is built again.
set -euo pipefail
preset=$1
system=$2
case $system in
  win64) target=x86_64-w64-mingw32; msvc_target=x86_64-pc-windows-msvc; machine=x64
         wine=(bash "$PWD/cmake/wine-run.sh") ;;
  win32) target=i686-w64-mingw32; msvc_target=i686-pc-windows-msvc; machine=x86
         wine=(bash "$PWD/cmake/wine-run.sh" --win32) ;;
  *) echo "check-windows-zip.sh: win64 or win32, not $system" >&2; exit 2 ;;
esac

build=build-$preset   # the presets' binaryDir
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" --target quorbel quorbel_tool quorbel_msvc_import_library   # what the zip holds
(cd "$build" && rm -f ./*.zip && cpack -G ZIP >/dev/null)

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
zip="$build/quorbel-$version-$system.zip"
[ -f "$zip" ] || { echo "cpack made no $zip:"; ls "$build"/*.zip; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unzip -q "$zip" -d "$work"
root="$work/quorbel-$version-$system"
for file in bin/QUORBEL.dll bin/quorbel.exe include/quorbel/quorbel.h include/quorbel/version.h \
            lib/libquorbel.dll.a lib/quorbel.lib lib/quorbel.def lib/cmake/Quorbel/QuorbelConfig.cmake \
            lib/pkgconfig/quorbel.pc README.md docs/windows.md CHANGELOG.md LICENSE; do
  [ -f "$root/$file" ] || { echo "the zip lacks $file"; unzip -l "$zip"; exit 1; }
done
grep -q '^MIT License' "$root/LICENSE"
mapfile -t exports < <(grep '^[^#]' export/exports.txt)   # as cmake/QuorbelExports.cmake reads it
bash tests/check_dll_exports.sh "$target-objdump" "$root/bin/QUORBEL.dll" "${exports[@]}"
copyright=$(grep -m1 '^Copyright ' "$root/LICENSE")
"$target-windres" -i "$root/bin/QUORBEL.dll" -O rc | grep -qF "VALUE \"LegalCopyright\", \"$copyright\"" ||
  { echo "the DLL's version record lacks LegalCopyright \"$copyright\""; exit 1; }

# The import library the CMake package gives a project: configured as MSVC
# (the variable CMake sets for cl and clang-cl) and as MinGW. Neither needs
# a compiler: the package alone decides.
# The documented example, and the text and note length that make it.
expected=$PWD/tests/fixtures/example.mid
read -r ticks text < <(python3 -c 'import json, sys
made = json.load(open(sys.argv[1], encoding="utf-8")); print(made["noteTicks"], made["text"])' \
  tests/fixtures/example.json)

mkdir "$work/consumer"
cat >"$work/consumer/CMakeLists.txt" <<'EOF'
cmake_minimum_required(VERSION 3.25)
project(consumer LANGUAGES NONE)
find_package(Quorbel REQUIRED CONFIG)
file(GENERATE OUTPUT import-library CONTENT "$<TARGET_LINKER_FILE:Quorbel::quorbel>")
EOF
for msvc in 0 1; do
  cmake -S "$work/consumer" -B "$work/consumer/$msvc" -DCMAKE_SYSTEM_NAME=Windows -DMSVC=$msvc \
    -DCMAKE_PREFIX_PATH="$root" >/dev/null
done
[ "$(cat "$work/consumer/0/import-library")" = "$root/lib/libquorbel.dll.a" ] ||
  { echo "the package gives MinGW $(cat "$work/consumer/0/import-library")"; exit 1; }
msvc_import=$(cat "$work/consumer/1/import-library")
[ "$msvc_import" = "$root/lib/quorbel.lib" ] || { echo "the package gives MSVC $msvc_import"; exit 1; }

# An MSVC link with that library: the header compiled as MSVC compiles it
# (clang for the MSVC target, with MinGW-w64's C headers for the Windows
# SDK's), linked by lld-link, on x86 with /SAFESEH, as Visual Studio's x86
# projects link. No MSVC C runtime is here, so the host has none: its entry
# point calls WriteMIDI through the import library, and returns.
cat >"$work/host-msvc.c" <<EOF
#include <quorbel/quorbel.h>
int start(void) { return WriteMIDI(L"$text", $ticks, L"written.mid") == QUORBEL_OK ? 0 : 1; }
EOF
clang --target="$msvc_target" -std=c11 -Wall -Wextra -Werror -isystem "/usr/$target/include" \
  -I"$root/include" -c "$work/host-msvc.c" -o "$work/host-msvc.obj"
safeseh=(); [ "$machine" = x86 ] && safeseh=(/safeseh)
lld-link /nologo /machine:$machine "${safeseh[@]}" /nodefaultlib /entry:start /subsystem:console \
  "$work/host-msvc.obj" "$msvc_import" /out:"$root/bin/host-msvc.exe"
# Where 32-bit Wine cannot run it, what it would bind is read instead.
imports=$("$target-objdump" -p "$root/bin/host-msvc.exe" |
  awk '/DLL Name:/ {dll = $3} /^\t[0-9a-f]+\t +[0-9]+ +[^ ]+$/ {print dll "!" $NF}')
[ "$imports" = "QUORBEL.dll!WriteMIDI" ] || { echo "host-msvc.exe imports $imports"; exit 1; }
echo "host-msvc.exe: linked by lld-link${safeseh:+ ${safeseh[*]}} with $(basename "$msvc_import"), imports QUORBEL.dll!WriteMIDI"

# Hosts go beside the DLL, where Windows looks first; nothing of the build
# folder is on their way.
for import in libquorbel.dll.a quorbel.lib; do
  "$target-gcc" -std=c11 -Wall -Wextra -Werror -I"$root/include" \
    examples/c/write_midi.c "$root/lib/$import" -o "$root/bin/host-${import%%.*}.exe"
done

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
  "${wine[@]}" "$host" written.mid "$ticks" "$text"
  cmp written.mid "$expected"
  echo "$(basename "$host"): wrote the documented example through the unpacked QUORBEL.dll"
done
"${wine[@]}" "$root/bin/quorbel.exe" -t "$ticks" -o tool.mid "$text"
cmp tool.mid "$expected"
echo "quorbel.exe: wrote the documented example"
echo "$(basename "$zip"): complete, and runs from its own files"
