# Cross-builds the 32-bit Windows DLL with Debian's MinGW-w64, and runs the
# Windows test programs under 32-bit Wine (Debian's wine32, an i386 package).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(QUORBEL_MINGW_TRIPLE i686-w64-mingw32)
set(QUORBEL_WINE_OPTIONS --win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
