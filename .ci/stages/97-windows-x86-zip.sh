# The 32-bit Windows zip, unpacked and used under 32-bit Wine from its own
# files. Wine's 32-bit half is an i386 package, added here when the stage
# before has not, at the end, where what it upgrades disturbs no other stage.
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed"; then
  dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine32:i386
fi
bash .ci/check-windows-zip.sh mingw32 build-mingw32-zip win32
