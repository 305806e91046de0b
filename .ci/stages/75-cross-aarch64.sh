# Linux on 64-bit ARM, with its NEON loops. The tool's suites are left to
# the other builds: what the tool could meet here (unsigned char, 64-bit
# long, little-endian) armhf and x86-64 meet between them, and each of its
# runs under the emulator costs a tenth of a second.
source .ci/cross-linux.sh
QUORBEL_CROSS_SKIP='^tool_(cli|readers)$' cross_linux aarch64 aarch64-linux-gnu 64
