# The Debian package: installed, used and removed.
(cd build && cpack -G DEB)
dpkg -i build/quorbel_*_amd64.deb
(cd "$(mktemp -d)" && quorbel --version && quorbel -o hello.mid "hello world!")
dpkg -r quorbel
