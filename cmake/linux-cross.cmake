# Shared by the Linux cross toolchains: Debian's cross compiler for
# QUORBEL_CROSS_TRIPLE, its libraries in /usr/<triple>, and qemu-user to run
# the test programs, with that directory as the root it loads them from.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${QUORBEL_CROSS_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${QUORBEL_CROSS_TRIPLE}-g++)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORBEL_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR qemu-${QUORBEL_QEMU_PROCESSOR} -L /usr/${QUORBEL_CROSS_TRIPLE})
