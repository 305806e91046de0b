# 32-bit ARM Linux with hardware floating point (Debian's armhf), cross-built
# and run under qemu: the 32-bit Linux build, with its large-file calls.
set(CMAKE_SYSTEM_PROCESSOR arm)
set(QUORBEL_CROSS_TRIPLE arm-linux-gnueabihf)
set(QUORBEL_QEMU_PROCESSOR arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
