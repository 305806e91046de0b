# The 64-bit Windows zip, unpacked and used under Wine from its own files.
bash .ci/check-windows-zip.sh mingw build-mingw-zip win64
