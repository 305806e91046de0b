#!/usr/bin/env bash
# The man page renders without a warning, and names every option --help does.
#   check_man_page.sh MAN_PAGE TOOL
set -euo pipefail
page=$1
tool=$2
warnings=$(groff -ww -man -Tutf8 "$page" 2>&1 >/dev/null)
[ -z "$warnings" ] || { echo "groff warns:"; echo "$warnings"; exit 1; }
rendered=$(MANWIDTH=80 man -l "$page" 2>&1)
# Taken apart from the loop: a failing command in a for list is ignored,
# and a tool that cannot run names no option the page could miss.
help=$("$tool" --help) || { echo "$tool --help failed"; exit 1; }
options=$(grep -oE -- '(^|[ ,])--?[a-zA-Z]+' <<<"$help" | tr -d ' ,' | sort -u || true)
[ -n "$options" ] || { echo "$tool --help names no option"; exit 1; }
for option in $options; do
  grep -q -- "$option" <<<"$rendered" || { echo "the man page does not name $option"; exit 1; }
done
echo "man page: renders cleanly and names every option of --help"
