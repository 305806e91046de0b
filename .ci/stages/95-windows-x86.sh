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
ctest --preset mingw32
