# The 64-bit Windows DLL, cross-built with MinGW-w64 and tested under Wine.
cmake --preset mingw
cmake --build --preset mingw
ctest --preset mingw
