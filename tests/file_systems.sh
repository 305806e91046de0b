#!/usr/bin/env bash
# What a replaced file keeps, and what a file written in place risks, on the
# file system mounted at MOUNT_POINT. Run as root; `nobody` stands for a user
# without privilege.
#   file_systems.sh MOUNT_POINT [NAME]
# The tool is build/cli/quorbel beside this script, or $QUORBEL_TOOL. Prints
# one line a check, "PASS: NAME: check", "FAIL: NAME: check: why" or
# "SKIPPED: NAME: check: why", and exits 1 when a check failed.
set -uo pipefail
mount_point=$1
name=${2:-$mount_point}
tool=${QUORBEL_TOOL:-$(cd "$(dirname "$0")/.." && pwd)/build/cli/quorbel}
[ "$(id -u)" = 0 ] || { echo "file_systems.sh: run as root" >&2; exit 2; }
[ -x "$tool" ] || { echo "file_systems.sh: no tool at $tool" >&2; exit 2; }

failed=0
pass() { echo "PASS: $name: $1${2:+ ($2)}"; }
fail() { echo "FAIL: $name: $1: $2"; failed=1; }
skip() { echo "SKIPPED: $name: $1: $2"; }

work=$(mktemp -d "$mount_point/quorbel-fs.XXXXXX") || { fail setup "cannot make a directory"; exit 1; }
reference=$(mktemp -d)
trap 'rm -rf "$work" "$reference"' EXIT
chmod 755 "$work" "$reference"
long_text=$(printf 'n%.0s' {1..4000})   # 32052 bytes
"$tool" -o "$reference/short.mid" AB >/dev/null && "$tool" -o "$reference/long.mid" "$long_text" >/dev/null ||
  { fail setup "the tool cannot write"; exit 1; }
# As runuser -u nobody would, without the session it opens, which triples
# the cost of each call.
as_nobody() { setpriv --reuid=nobody --regid=nogroup --clear-groups -- "$@" >/dev/null; }
as_nobody test -x "$tool" -a -x "$work" || { fail setup "nobody cannot reach $tool or $work"; exit 1; }
write() { "$tool" "$@" >/dev/null; }

touch "$work/probe"
acls=yes; setfacl -m u:nobody:r "$work/probe" 2>/dev/null || acls=no
user_attributes=yes; setfattr -n user.probe -v 1 "$work/probe" 2>/dev/null || user_attributes=no

# An ACL of 22 named users and a 2100-byte attribute do not fit in the inode:
# both live in a block of their own, which a copy must fetch and keep.
check_large_acl() {
  local check=a-acl dir=$work/a file=$work/a/song.mid
  [ $acls = yes ] || { skip $check "no ACLs here"; return; }
  mkdir -m 755 "$dir" && echo "the old file" >"$file" && chmod 640 "$file" && chgrp nogroup "$file"
  local entries=u:nobody:--- uid
  for uid in $(seq 2001 2021); do entries+=",u:$uid:r--"; done
  setfacl -m "$entries" "$file" || { skip $check "no room for 22 entries here"; return; }
  local comment note=""
  comment=$(printf 'c%.0s' {1..2100})
  if [ $user_attributes = yes ]; then
    setfattr -n user.comment -v "$comment" "$file" || { skip $check "no room for 2100 bytes of attribute here"; return; }
  else
    note="no user attributes here"
  fi
  local before after enforced=yes
  before=$(getfacl -cn "$file" 2>/dev/null)
  as_nobody cat "$file" 2>/dev/null && { enforced=no; note+="${note:+, }ACLs not enforced here"; }
  write -o "$file" AB || { fail $check "the tool failed"; return; }
  after=$(getfacl -cn "$file" 2>/dev/null)
  cmp -s "$file" "$reference/short.mid" || { fail $check "not the new file"; return; }
  [ "$after" = "$before" ] ||
    { fail $check "the ACL changed: $(diff <(echo "$before") <(echo "$after") | grep '^[<>]' | tr '\n' ' ')"; return; }
  if [ $user_attributes = yes ] &&
    [ "$(getfattr --only-values -n user.comment "$file" 2>/dev/null)" != "$comment" ]; then
    fail $check "user.comment lost"; return
  fi
  [ $enforced = yes ] && as_nobody cat "$file" 2>/dev/null && { fail $check "nobody can read it"; return; }
  pass $check "$note"
}

# A directory's default ACL is for new files: a replaced file keeps its own
# permissions, with nothing added.
check_default_acl() {
  local check=b-default-acl dir=$work/b file=$work/b/song.mid
  [ $acls = yes ] || { skip $check "no ACLs here"; return; }
  mkdir -m 755 "$dir" && echo "the old file" >"$file" && chmod 640 "$file"
  setfacl -d -m u:nobody:rw "$dir" || { fail $check "setfacl -d refused"; return; }
  local enforced=yes
  as_nobody cat "$file" 2>/dev/null && enforced=no
  write -o "$file" AB || { fail $check "the tool failed"; return; }
  local acl
  acl=$(getfacl -cn "$file" 2>/dev/null | sed '/^$/d' | tr '\n' ' ')
  [ "$acl" = "user::rw- group::r-- other::--- " ] || { fail $check "the file now has: $acl"; return; }
  [ $enforced = yes ] || { pass $check "permissions not enforced here"; return; }
  as_nobody cat "$file" 2>/dev/null && { fail $check "nobody can read it"; return; }
  pass $check
}

# The plain replacement, which every file system must take.
check_plain() {
  local check=c-plain file=$work/plain.mid
  echo "the old file" >"$file" && chmod 604 "$file"
  write -o "$file" AB || { fail $check "the tool failed"; return; }
  cmp -s "$file" "$reference/short.mid" || { fail $check "not the new file"; return; }
  [ "$(stat -c %a "$file")" = 604 ] || { fail $check "mode $(stat -c %a "$file")"; return; }
  local note=""
  [ $acls = yes ] || note="no ACLs here"
  pass $check "$note"
}

# nobody may write the file but not its directory, so it is written in place.
in_place_file() {
  local dir=$work/$1
  mkdir -m 755 "$dir" && head -c "$2" /dev/zero | tr '\0' o >"$dir/song.mid" && chmod 666 "$dir/song.mid"
  echo "$dir/song.mid"
}

check_in_place() {
  local check=d-in-place file inode
  file=$(in_place_file d 300)
  inode=$(stat -c %i "$file")
  as_nobody "$tool" -o "$file" AB || { fail $check "the tool failed"; return; }
  cmp -s "$file" "$reference/short.mid" || { fail $check "not the new file"; return; }
  [ "$(stat -c %i "$file")" = "$inode" ] || { fail $check "replaced, not written in place"; return; }
  pass $check
}

# The file size limit is known before the first byte: the call must refuse
# with the old file whole, not stop halfway through it.
check_in_place_size_limit() {
  local check=d-ulimit file
  file=$(in_place_file u 1000)
  cp "$file" "$reference/old"
  local said
  if said=$(as_nobody bash -c 'ulimit -f 8; exec "$0" -o "$1" "$2"' "$tool" "$file" "$long_text" 2>&1); then
    fail $check "a 32 KB file written under an 8 KiB limit"; return
  fi
  cmp -s "$file" "$reference/old" || { fail $check "the old file is damaged ($(stat -c %s "$file") bytes)"; return; }
  [[ $said == *"File too large"* ]] || { fail $check "refused for another reason: $said"; return; }
  pass $check
}

# On a full file system the call must refuse before it touches the old file.
# Filled only when small, so that a run by hand on a real disk cannot fill it.
check_in_place_full() {
  local check=d-full file size
  size=$(df --output=size -B1 "$work" | tail -n 1)
  [ "$size" -gt 0 ] || { skip $check "no size to fill"; return; }
  [ "$size" -le $((1024 * 1024 * 1024)) ] || { skip $check "larger than 1 GiB: not filled"; return; }
  file=$(in_place_file f 1000)
  cp "$file" "$reference/old"
  local free
  free=$(df --output=avail -B1 "$work" | tail -n 1)
  fallocate -l "$free" "$work/filler" 2>/dev/null
  dd if=/dev/zero of="$work/filler-rest" bs=4k status=none 2>/dev/null
  local said damaged=""
  if said=$(as_nobody "$tool" -o "$file" "$long_text" 2>&1); then
    rm -f "$work/filler" "$work/filler-rest"
    skip $check "a 32 KB file still fitted once full"; return
  fi
  cmp -s "$file" "$reference/old" || damaged="$(stat -c %s "$file") bytes"
  rm -f "$work/filler" "$work/filler-rest"
  [ -z "$damaged" ] || { fail $check "the old file is damaged ($damaged)"; return; }
  [[ $said == *"No space left"* ]] || { fail $check "refused for another reason: $said"; return; }
  pass $check
}

check_large_acl
check_default_acl
check_plain
check_in_place
check_in_place_size_limit
check_in_place_full
exit $failed
