# Shared by the Windows cross toolchains: Debian's MinGW-w64 for
# QUORBEL_MINGW_TRIPLE, its libraries in /usr/<triple>, and Wine to run the
# test programs (QUORBEL_WINE_OPTIONS picks the Wine).
set(CMAKE_SYSTEM_NAME Windows)

# The POSIX thread model: GoogleTest needs std::mutex, which the win32
# model of this GCC lacks.
set(CMAKE_C_COMPILER ${QUORBEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORBEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORBEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUORBEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry their runtime inside, so Wine needs no MinGW DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${QUORBEL_WINE_OPTIONS})
