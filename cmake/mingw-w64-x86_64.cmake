# Cross-builds the Windows DLL with Debian's MinGW-w64, and runs the Windows
# test programs under Wine.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUORBEL_MINGW_TRIPLE x86_64-w64-mingw32)
set(QUORBEL_WINE_OPTIONS "")
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
