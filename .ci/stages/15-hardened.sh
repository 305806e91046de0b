# Builds as distributions make them, warnings as errors: GCC with
# dpkg-buildflags' full hardening, clang with FORTIFY_SOURCE=3, stack
# protection and libstdc++'s assertions, each with the whole suite; clang
# with the distribution's flags, built only.
# The plain POSIX path that macOS and the BSDs take runs the whole suite
# here on Linux, with GCC and the explicit flags.
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
    -DQUORBEL_WERROR=ON "$@"
  cmake --build "$dir" -j2
}
suite() { ctest --test-dir "$1" -j2 --timeout 300 --output-on-failure "${@:2}"; }

build build-hardened-gcc gcc "$dpkg_c" "$dpkg_cxx" "$dpkg_ld"
suite build-hardened-gcc

build build-hardened-clang clang "$explicit" "$explicit" ""
suite build-hardened-clang

build build-hardened-clang-dpkg clang "$dpkg_c" "$dpkg_cxx" "$dpkg_ld" \
  -DQUORBEL_BUILD_TESTS=OFF -DQUORBEL_BUILD_BENCHMARKS=OFF

build build-generic gcc "$explicit" "$explicit" "" -DQUORBEL_GENERIC_POSIX=ON
suite build-generic
