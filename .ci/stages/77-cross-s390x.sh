# Linux on s390x: big-endian. Built for the plain POSIX path that macOS and
# the BSDs take (no vector loops exist for this processor, so it has the
# plain ones too), with FORTIFY_SOURCE=3 and libstdc++'s assertions: one
# build tests the byte order, the portable path and the portable loops.
source .ci/cross-linux.sh
checks="-D_FORTIFY_SOURCE=3 -fstack-protector-strong -D_GLIBCXX_ASSERTIONS"
cross_linux s390x s390x-linux-gnu 64 -DQUORBEL_GENERIC_POSIX=ON \
  -DCMAKE_C_FLAGS="$checks" -DCMAKE_CXX_FLAGS="$checks"
