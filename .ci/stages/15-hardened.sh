# Builds as distributions make them, warnings as errors: clang with the
# distribution's flags (dpkg-buildflags' full hardening) and, on top,
# FORTIFY_SOURCE=3 and libstdc++'s assertions, with the whole suite. (GCC
# with the Debian packages' own flags and the suite is stage 10, which is
# why stage 78 builds the packages without it. The plain POSIX path that
# macOS and the BSDs take is stage 77's, with the same explicit flags.)
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
dpkg_c="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CFLAGS)"
dpkg_cxx="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
dpkg_ld="$(dpkg-buildflags --get LDFLAGS)"
explicit="-O2 -D_FORTIFY_SOURCE=3 -fstack-protector-strong -D_GLIBCXX_ASSERTIONS"

# build DIR COMPILER C-FLAGS C++-FLAGS LINK-FLAGS [CMAKE ARGS...]
build() {
  local dir=$1 compiler=$2 cflags=$3 cxxflags=$4 ldflags=$5
  shift 5
  local cxx=g++
  [ "$compiler" = clang ] && cxx=clang++
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_C_COMPILER="$compiler" -DCMAKE_CXX_COMPILER="$cxx" \
    -DCMAKE_C_FLAGS="$cflags" -DCMAKE_CXX_FLAGS="$cxxflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" \
    -DQUORBEL_WERROR=ON -DQUORBEL_BUILD_BENCHMARKS=OFF "$@"
  cmake --build "$dir" -j2
}
# The install check is left to stage 10: what it checks (the install rules,
# and hosts built against the installed files) is the same whatever the
# compiler and flags, and it takes a third of the suite's time, alone.
suite() {
  ctest --test-dir "$1" -j2 --timeout 300 --output-on-failure -E '^installed_package$' "${@:2}"
}

# DWARF 4, which the suite's valgrind reads (clang 14 writes 5 by default).
build build-hardened-clang clang "$dpkg_c -U_FORTIFY_SOURCE $explicit -gdwarf-4" \
  "$dpkg_cxx -U_FORTIFY_SOURCE $explicit -gdwarf-4" "$dpkg_ld"
suite build-hardened-clang
