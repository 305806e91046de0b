# 64-bit ARM Linux, cross-built with Debian's compilers and run under qemu.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(QUORBEL_CROSS_TRIPLE aarch64-linux-gnu)
set(QUORBEL_QEMU_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
