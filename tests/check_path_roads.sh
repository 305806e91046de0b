#!/usr/bin/env bash
# docs/guarantees.md shows the header's table of how a path is written, word
# for word: the header is the one source, and the man page is made from it.
#   check_path_roads.sh HEADER DOC
set -euo pipefail
from_header=$(awk '/How the file reaches path depends on what path names:/ { found = 1; next }
  found && /^ \*$/ && !started { next }
  found && /^ \*  / { started = 1; print substr($0, 4); next }
  started { exit }' "$1")
from_doc=$(sed -n '/<!-- path roads: from include\/quorbel\/quorbel.h -->/,/^```$/p' "$2" |
  sed '1,2d;$d')
[ -n "$from_header" ] || { echo "no table found in $1"; exit 1; }
if [ "$from_header" != "$from_doc" ]; then
  echo "$2: its table of how a path is written differs from the header's:"
  diff <(echo "$from_header") <(echo "$from_doc") || true
  exit 1
fi
echo "$2: the header's table of how a path is written, word for word"
