# Sourced by the cross-built Linux stages. cross_linux NAME TOOLCHAIN BITS
# builds the tree for another processor with Debian's cross compiler (cmake/
# TOOLCHAIN.cmake) and runs the suite under qemu-user, less what needs the
# native Python, valgrind or compilers: those say why they are skipped. The
# build must write the very files the x86-64 build writes for a random text
# of 100,000 characters, astral ones included, at note lengths 48, 200 and
# 0x0FFFFFFF. The reference is the x86-64 tree stage 10-linux leaves (made
# here when it is missing), run into a folder of this stage's own, so that
# the cross stages can run side by side.
#
# BITS is 32 or 64. On a 64-bit processor the three cases that encode a
# track of 4 GiB are left out (a minute of the stage's time under the
# emulator): what they check is arithmetic on 64-bit sizes, the same on any
# 64-bit processor as on x86-64, and the 32-bit build runs them. Any
# further arguments go to CMake; QUORBEL_CROSS_SKIP, a ctest -E pattern,
# leaves out what the stage says why.
cross_linux() {
  local name=$1 toolchain=$2 bits=$3 reference=build file
  shift 3
  if [ "$bits" = 64 ]; then
    export GTEST_FILTER='-*.ATrackPastFourGibibytes*:*.TheLongestTrackTheLengthFieldHolds*'
  fi
  [ -x $reference/tests/quorbel_random_text_host ] ||
    { cmake --preset default >/dev/null && cmake --build --preset default --target quorbel_random_text_host; }
  cmake -S . -B "build-$name" -G Ninja -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain.cmake" \
    -DQUORBEL_WERROR=ON -DQUORBEL_BUILD_BENCHMARKS=OFF "$@"
  local expected="build-$name/expected-random-text"
  rm -rf "$expected"
  "$reference/tests/quorbel_random_text_host" "$expected"
  cmake --build "build-$name" -j2
  rm -rf "build-$name/tests/random-text"   # written by the random_text_host test
  ctest --test-dir "build-$name" -j2 --timeout 300 --output-on-failure ${QUORBEL_CROSS_SKIP:+-E "$QUORBEL_CROSS_SKIP"}
  grep -h '^skipped: ' "build-$name/Testing/Temporary/LastTest.log" || true
  for file in "$expected"/*.mid; do
    cmp "$file" "build-$name/tests/random-text/$(basename "$file")"
  done
  echo "$name: the random text's files are the x86-64 build's, byte for byte"
}
