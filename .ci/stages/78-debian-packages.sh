# Debian's packages of Quorbel as a distribution builds them: from a copy of
# the tree with dpkg-buildpackage (which writes them beside that copy, in
# build-pkg-debian/), checked by lintian, installed with apt, used by a C
# host through pkg-config and through find_package, and removed again
# without a trace.
out=build-pkg-debian
packages=(libquorbel1 libquorbel-dev quorbel)

version=$(sed -n 's/^ *VERSION \([0-9.]*\)$/\1/p' CMakeLists.txt | head -n 1)
changelog_version=$(dpkg-parsechangelog -S Version)
[ "$changelog_version" = "$version" ] ||
  { echo "debian/changelog is at $changelog_version, the project at $version"; exit 1; }

rm -rf "$out"
mkdir -p "$out/quorbel"
# The tree as cloned: git's own files, not what other stages build or
# leave, which stage 90 may be writing into web/ as this copy is made.
git ls-files -z | tar --null -T - -cf - | tar -xf - -C "$out/quorbel"
# The suite ran in stage 10, with the same compiler and flags on the same
# tree; here the packages are built without it.
(cd "$out/quorbel" && DEB_BUILD_OPTIONS="parallel=2 nocheck" dpkg-buildpackage -b -us -uc)
arch=$(dpkg --print-architecture)
debs=()
for package in "${packages[@]}"; do debs+=("$out/${package}_${version}_$arch.deb"); done
ls "$out/libquorbel1-dbgsym_${version}_$arch.deb" "$out/quorbel-dbgsym_${version}_$arch.deb" >/dev/null

lintian --fail-on error,warning "${debs[@]}"
echo "lintian: no error and no warning"
dpkg-deb -f "$out/libquorbel-dev_${version}_$arch.deb" Depends | grep -q "libquorbel1 (= $version)"

# Whatever happens from here, the system is left without the packages.
trap 'dpkg -r "${packages[@]}" >/dev/null 2>&1 || true' EXIT
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -o DPkg::Lock::Timeout=300 "${debs[@]/#/./}"
owned=$(dpkg -L "${packages[@]}")
# grep reads all of its input here, without -q: under pipefail, a writer
# cut off by grep's early exit would fail the check on a match.
ldconfig -p | grep 'libquorbel.so.1 ' >/dev/null || { echo "the loader's cache lacks libquorbel.so.1"; exit 1; }

work=$(mktemp -d)
trap 'dpkg -r "${packages[@]}" >/dev/null 2>&1 || true; rm -rf "$work"' EXIT
# The documented example, and the text and note length that make it.
expected=$PWD/tests/fixtures/example.mid
read -r ticks text < <(python3 -c 'import json, sys
made = json.load(open(sys.argv[1], encoding="utf-8")); print(made["noteTicks"], made["text"])' \
  tests/fixtures/example.json)

# The hosts find everything in the system's own places: no prefix is given.
cmake -S examples/c -B "$work/cmake-host" >/dev/null
cmake --build "$work/cmake-host" >/dev/null
"$work/cmake-host/write_midi" "$work/cmake.mid" "$ticks" "$text"
cmp "$work/cmake.mid" "$expected"
echo "find_package(Quorbel): the host wrote the documented example"
[ "$(pkg-config --variable=libdir quorbel)" = "/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH)" ]
mkdir "$work/make-host"
make -s -C "$work/make-host" -f "$PWD/examples/c/Makefile" VPATH="$PWD/examples/c"
"$work/make-host/write_midi" "$work/make.mid" "$ticks" "$text"
cmp "$work/make.mid" "$expected"
echo "pkg-config --cflags --libs quorbel: the host wrote the documented example"

(cd "$work" && quorbel -t "$ticks" -o tool.mid "$text" && cmp tool.mid "$expected")
quorbel --version | grep -qx "quorbel $version"
MANWIDTH=80 man quorbel 2>&1 | grep 'write a line of text as a Standard MIDI File' >/dev/null
echo "quorbel --version and man quorbel work"

dpkg -r "${packages[@]}"
left=0
while read -r path; do
  if [ "$path" = /. ]; then
    continue
  elif [ -d "$path" ] && [ ! -L "$path" ]; then
    # A folder stays only while another package still owns it.
    dpkg-query -S "$path" >/dev/null 2>&1 || { echo "left behind: $path/"; left=1; }
  elif [ -e "$path" ] || [ -L "$path" ]; then
    echo "left behind: $path"; left=1
  fi
done <<<"$owned"
! ldconfig -p | grep libquorbel >/dev/null || { echo "the loader's cache still has libquorbel"; left=1; }
[ "$left" = 0 ]
echo "dpkg -r: nothing of the $(wc -l <<<"$owned") installed paths is left"
