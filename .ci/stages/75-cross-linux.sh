# aarch64, armhf (32-bit, so with 64-bit file offsets) and s390x (big-endian),
# cross-built with Debian's compilers. The suite runs under qemu-user, less
# what needs the native Python, valgrind or compilers: those say why they
# are skipped. Each must write the very files the x86-64 build writes for a
# random text of 100,000 characters, astral ones included, at note lengths
# 48, 200 and 0x0FFFFFFF.
# The reference is the x86-64 tree stage 10-linux leaves (made here when
# it is missing).
reference=build
[ -x $reference/tests/quorbel_random_text_host ] ||
  { cmake --preset default >/dev/null && cmake --build --preset default --target quorbel_random_text_host; }
rm -rf $reference/random-text
$reference/tests/quorbel_random_text_host $reference/random-text

for target in aarch64:aarch64-linux-gnu armhf:arm-linux-gnueabihf s390x:s390x-linux-gnu; do
  name=${target%%:*}
  toolchain=${target#*:}
  echo "-- $name"
  cmake -S . -B build-$name -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/$toolchain.cmake \
    -DQUORBEL_WERROR=ON -DQUORBEL_BUILD_BENCHMARKS=OFF
  cmake --build build-$name -j2
  rm -rf build-$name/tests/random-text   # written by the random_text_host test
  ctest --test-dir build-$name -j2 --timeout 300 --output-on-failure
  grep -h '^skipped: ' build-$name/Testing/Temporary/LastTest.log || true
  for file in $reference/random-text/*.mid; do
    cmp "$file" "build-$name/tests/random-text/$(basename "$file")"
  done
  echo "$name: the random text's files are the x86-64 build's, byte for byte"
done
