#!/usr/bin/env bash
# Quorbel installed into a prefix of its own, and used from there the ways a
# host's build would: a CMake project with find_package, a Makefile with
# pkg-config, and a project that adds the source tree with add_subdirectory.
# Each writes the documented example, tests/fixtures/example.mid, from the
# text and note length that make it, and must get it byte for byte.
#   check_install.sh BUILD_DIR SOURCE_DIR SCRATCH_DIR VERSION EXAMPLE_TICKS EXAMPLE_TEXT
set -euo pipefail
build=$1
source=$2
work=$3
version=$4
ticks=$5
text=$6
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
expected=$source/tests/fixtures/example.mid

# A pkg-config file with a fixed prefix, as a distribution's build makes,
# is used as cross builds use one: staged under a root that pkg-config
# knows as the sysroot.
if grep -q '^prefix=${pcfiledir}' "$build/quorbel.pc"; then
  sysroot=
  echo "-- installing into $prefix"
  cmake --install "$build" --prefix "$prefix" >/dev/null
else
  sysroot=$work/root
  prefix=$sysroot$(sed -n 's/^CMAKE_INSTALL_PREFIX:PATH=//p' "$build/CMakeCache.txt")
  echo "-- staging under $sysroot"
  DESTDIR=$sysroot cmake --install "$build" >/dev/null
fi
# The library folder is lib, or lib/<triplet> in a Debian build.
libdir=$(dirname "$(find "$prefix" -name "libquorbel.so.$version")")
lib=${libdir#"$prefix"/}
for file in include/quorbel/quorbel.h include/quorbel/version.h bin/quorbel share/man/man1/quorbel.1 \
            "$lib"/cmake/Quorbel/QuorbelConfig.cmake "$lib"/cmake/Quorbel/QuorbelConfigVersion.cmake \
            "$lib"/pkgconfig/quorbel.pc; do
  [ -e "$prefix/$file" ] || { echo "not installed: $file"; exit 1; }
done
grep -q "^#define QUORBEL_VERSION_STRING \"$version\"$" "$prefix/include/quorbel/version.h" ||
  { echo "the installed quorbel/version.h is not of version $version"; exit 1; }
[ -L "$libdir/libquorbel.so.1" ] && [ -L "$libdir/libquorbel.so" ] ||
  { echo "the SONAME links are missing in $libdir"; exit 1; }
# The tool finds the library through its RUNPATH; a distribution's build
# leaves that out, and the library is then found as the system's.
if readelf -d "$prefix/bin/quorbel" | grep -qE '\((RPATH|RUNPATH)\)'; then
  "$prefix/bin/quorbel" --version | grep -qx "quorbel $version"
else
  LD_LIBRARY_PATH=$libdir "$prefix/bin/quorbel" --version | grep -qx "quorbel $version"
fi

echo "-- find_package(Quorbel 1.0)"
cmake -S "$source/examples/c" -B "$work/cmake-host" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/cmake-host" >/dev/null
"$work/cmake-host/write_midi" "$work/cmake.mid" "$ticks" "$text"
cmp "$work/cmake.mid" "$expected"

echo "-- a newer major version is not accepted"
mkdir -p "$work/version-host"
printf 'cmake_minimum_required(VERSION 3.25)\nproject(V LANGUAGES C)\nfind_package(Quorbel 2.0 REQUIRED)\n' \
  >"$work/version-host/CMakeLists.txt"
if cmake -S "$work/version-host" -B "$work/version-host/build" -DCMAKE_PREFIX_PATH="$prefix" \
     >/dev/null 2>&1; then
  echo "find_package(Quorbel 2.0) accepted version $version"; exit 1
fi

echo "-- pkg-config --cflags --libs quorbel"
mkdir -p "$work/make-host"
PKG_CONFIG_PATH=$libdir/pkgconfig PKG_CONFIG_SYSROOT_DIR=$sysroot make -s -C "$work/make-host" \
  -f "$source/examples/c/Makefile" VPATH="$source/examples/c"
env ${sysroot:+LD_LIBRARY_PATH=$libdir} "$work/make-host/write_midi" "$work/make.mid" "$ticks" "$text"
cmp "$work/make.mid" "$expected"

echo "-- add_subdirectory"
cmake -S "$source/tests/install/subdirectory" -B "$work/subdirectory-host" \
  -DQUORBEL_SOURCE_DIR="$source" >/dev/null
cmake --build "$work/subdirectory-host" >/dev/null
"$work/subdirectory-host/write_midi" "$work/subdirectory.mid" "$ticks" "$text"
cmp "$work/subdirectory.mid" "$expected"

rm -rf "$work"
echo "installed package: 3 hosts wrote the documented example"
