# IBM Z Linux, cross-built and run under qemu: the big-endian build, which
# tests the writer's byte order.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(QUORBEL_CROSS_TRIPLE s390x-linux-gnu)
set(QUORBEL_QEMU_PROCESSOR s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
