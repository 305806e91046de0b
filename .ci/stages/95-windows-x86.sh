# The 32-bit Windows DLL, cross-built with MinGW-w64 and tested under 32-bit
# Wine. Wine's 32-bit half is an i386 package: the architecture is added
# here, in the last stage, so that what its installation upgrades disturbs
# no other stage.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"; then
  dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine32:i386
fi
cmake --preset mingw32
cmake --build --preset mingw32

# 32-bit Wine is itself a 32-bit x86 program: a kernel built without IA32
# emulation (some virtual machines) cannot start it. The checks that read
# the DLL still run there; the tests under Wine are skipped, loudly.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  ctest --preset mingw32
else
  echo "SKIPPED: this kernel cannot run 32-bit x86 programs, so 32-bit Wine cannot start;"
  echo "SKIPPED: the tests under Wine (label 'wine') did not run, the DLL's own checks do"
  ctest --preset mingw32 --label-exclude wine
fi
