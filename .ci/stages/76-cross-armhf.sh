# Linux on 32-bit ARM, so with 64-bit file offsets and times in a 32-bit ABI.
source .ci/cross-linux.sh
cross_linux armhf arm-linux-gnueabihf 32
