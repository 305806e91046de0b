# Linux on s390x: big-endian.
source .ci/cross-linux.sh
cross_linux s390x s390x-linux-gnu 64
