# The 32-bit Windows zip, made from stage 95's build, unpacked and used
# under 32-bit Wine from its own files; and that build's files are
# reproducible.
source .ci/install-wine32.sh
install_wine32 || true
bash .ci/check-windows-zip.sh mingw32 win32
bash .ci/check-windows-reproducible.sh build-mingw32
