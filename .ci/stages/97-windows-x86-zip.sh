# The 32-bit Windows zip, unpacked and used under 32-bit Wine from its own
# files.
source .ci/install-wine32.sh
install_wine32 || true
bash .ci/check-windows-zip.sh mingw32 build-mingw32-zip win32
