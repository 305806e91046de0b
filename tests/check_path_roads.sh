#!/usr/bin/env bash
# The README shows the header's table of how a path is written, word for
# word: the header is the one source, and the man page is made from it.
#   check_path_roads.sh HEADER README
set -euo pipefail
from_header=$(awk '/How the file reaches path depends on what path names:/ { found = 1; next }
  found && /^ \*$/ && !started { next }
  found && /^ \*  / { started = 1; print substr($0, 4); next }
  started { exit }' "$1")
from_readme=$(sed -n '/<!-- path roads: from include\/quorbel\/quorbel.h -->/,/^```$/p' "$2" |
  sed '1,2d;$d')
[ -n "$from_header" ] || { echo "no table found in $1"; exit 1; }
if [ "$from_header" != "$from_readme" ]; then
  echo "the README's table of how a path is written differs from the header's:"
  diff <(echo "$from_header") <(echo "$from_readme") || true
  exit 1
fi
echo "README: the header's table of how a path is written, word for word"
