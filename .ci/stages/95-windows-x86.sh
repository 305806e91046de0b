# The 32-bit Windows DLL, cross-built with MinGW-w64 and tested under 32-bit
# Wine.
source .ci/install-wine32.sh
install_wine32 || true
cmake --preset mingw32

# 32-bit Wine is itself a 32-bit x86 program: a kernel built without IA32
# emulation (some virtual machines) cannot start it, and a mirror may not
# have given it. The checks that read the DLL and its install still run
# then, on the library and the tool alone; the test programs, which could
# not run, are not built, and the tests under Wine are skipped, loudly.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  cmake --build --preset mingw32
  ctest --preset mingw32
else
  cmake --build --preset mingw32 --target quorbel quorbel_tool quorbel_msvc_import_library
  echo "SKIPPED: 32-bit Wine does not start here (not installed, or a kernel without 32-bit x86);"
  echo "SKIPPED: the tests under Wine (label 'wine') did not run, the DLL's own checks do"
  ctest --preset mingw32 --label-exclude wine
fi
