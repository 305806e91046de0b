# The hosts in other languages, against the library in build/ that stage
# 10-linux leaves (built here when it is missing): the Python package
# installed with pip, tested from outside the source tree and type-checked
# as its users would, and the README's Python block. The .NET package has
# a stage of its own, 98-dotnet.
source=$PWD
library=$source/build/export
[ -e "$library/libquorbel.so" ] ||
  { cmake --preset default >/dev/null && cmake --build --preset default --target quorbel; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "-- Python: pip install --no-build-isolation, offline"
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
cp -r bindings/python "$work/python-source"   # pip's build leaves files in the tree it builds
"$work/venv/bin/pip" install --quiet --no-build-isolation --no-index "$work/python-source"
cd "$work"
"$work/venv/bin/python" -c 'import quorbel; print(quorbel.__file__)' | grep -q "$work/venv/"
# pyproject.toml cannot read the project's one version, so it is held to it.
version=$(sed -n 's/^ *VERSION \([0-9.]*\)$/\1/p' "$source/CMakeLists.txt" | head -n 1)
installed=$("$work/venv/bin/python" -c 'import importlib.metadata as m; print(m.version("quorbel"))')
[ "$installed" = "$version" ] ||
  { echo "bindings/python is at version $installed, the project at $version"; exit 1; }
QUORBEL_LIBRARY=$library/libquorbel.so.1 PYTHONDONTWRITEBYTECODE=1 \
  "$work/venv/bin/python" -m unittest discover -s "$source/bindings/python/tests"
# The installed package, py.typed included, and a program using it, as
# mypy --strict sees them from a typed project.
cp "$source/bindings/python/tests/typed_consumer.py" .
"$work/venv/bin/python" -m mypy --strict --cache-dir "$work/mypy" -m typed_consumer -p quorbel
echo "-- Python: the README's block, exactly as written"
[ "$(grep -c '^```python$' "$source/README.md")" = 1 ]
mkdir python-readme
sed -n '/^```python$/,/^```$/{/^```/d;p}' "$source/README.md" >python-readme/hello.py
(cd python-readme && QUORBEL_LIBRARY=$library/libquorbel.so.1 "$work/venv/bin/python" hello.py)
[ "$(stat -c %s python-readme/hello.mid)" = 92 ]   # 52 + 5 notes of 8 bytes

echo "hosts: the Python package, its hints and the README's block"
