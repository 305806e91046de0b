# The 64-bit Windows zip, made from stage 80's build, unpacked and used
# under Wine from its own files; and that build's files are reproducible.
bash .ci/check-windows-zip.sh mingw win64
bash .ci/check-windows-reproducible.sh build-mingw
