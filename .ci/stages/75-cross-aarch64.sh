# Linux on 64-bit ARM, with its NEON loops.
source .ci/cross-linux.sh
cross_linux aarch64 aarch64-linux-gnu 64
