# tests/file_systems.sh on each file system a user's file may live on:
# ext4, ext2, XFS and btrfs on small loop-mounted images, btrfs without ACLs,
# tmpfs, overlayfs over tmpfs, and bindfs (FUSE) over tmpfs. What this
# machine cannot mount is skipped with its reason; a failed check fails the
# stage.
source=$PWD
tool=$source/build/cli/quorbel
[ -x "$tool" ] ||
  { cmake --preset default >/dev/null && cmake --build --preset default --target quorbel_tool; }
work=$(mktemp -d)
chmod 755 "$work"   # nobody runs the tool in there
mounts=()
loops=()
cleanup() {
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" 2>/dev/null || true
  done
  for loop in "${loops[@]}"; do losetup -d "$loop" 2>/dev/null || true; done
  rm -rf --one-file-system "$work"
}
trap cleanup EXIT

skipped() { echo "SKIPPED: $1: $2"; results+=("$1 - -"); }

# Mounts what `$@` mounts at $work/NAME and records it for the cleanup.
mounted() {
  local name=$1 point=$work/$1
  shift
  mkdir -p "$point"
  "$@" "$point" 2>"$work/$name.error" || return 1
  mounts+=("$point")
}

# An image of SIZE made by `mkfs...`, on a loop device of its own.
image() {
  local name=$1 size=$2 options=$3 mkfs=$4
  shift 4
  command -v "$mkfs" >/dev/null || { skipped "$name" "no $mkfs"; return 1; }
  truncate -s "$size" "$work/$name.img"
  "$mkfs" "$@" "$work/$name.img" >"$work/$name.error" 2>&1 ||
    { skipped "$name" "$mkfs failed: $(tail -n 1 "$work/$name.error")"; return 1; }
  local loop
  loop=$(losetup -f --show "$work/$name.img" 2>"$work/$name.error") ||
    { skipped "$name" "no loop device: $(cat "$work/$name.error")"; return 1; }
  loops+=("$loop")
  mounted "$name" mount -o "$options" "$loop" ||
    { skipped "$name" "cannot mount: $(cat "$work/$name.error")"; return 1; }
}

tmpfs() { mounted "$1" mount -t tmpfs -o size=48m,mode=755 tmpfs; }

overlay() {
  tmpfs overlay-base || { skipped overlayfs "cannot mount its tmpfs"; return 1; }
  local base=$work/overlay-base
  mkdir -m 755 "$base/lower" "$base/upper" "$base/work"
  mounted overlayfs mount -t overlay overlay \
    -o "lowerdir=$base/lower,upperdir=$base/upper,workdir=$base/work" ||
    { skipped overlayfs "cannot mount: $(cat "$work/overlayfs.error")"; return 1; }
}

fuse() {
  command -v bindfs >/dev/null || { skipped bindfs "no bindfs"; return 1; }
  [ -c /dev/fuse ] || { skipped bindfs "no /dev/fuse"; return 1; }
  tmpfs bindfs-base || { skipped bindfs "cannot mount its tmpfs"; return 1; }
  mounted bindfs bindfs -o allow_other "$work/bindfs-base" ||
    { skipped bindfs "cannot mount: $(cat "$work/bindfs.error")"; return 1; }
}

results=()
failed=0
check() {
  local name=$1 output start=$SECONDS
  output=$(bash "$source/tests/file_systems.sh" "$work/$name" "$name") || failed=1
  echo "$output"
  results+=("$name $((SECONDS - start))s $(awk -v n="$name" '$2 == n ":" { sub(":", "", $1); sub(":", "", $3); printf "%s=%s ", $3, $1 }' <<<"$output")")
}

image ext4 64M acl mkfs.ext4 -q -b 4096 && check ext4
image ext2 32M acl mkfs.ext2 -q -b 4096 && check ext2
image xfs 300M defaults mkfs.xfs -q && check xfs
image btrfs 128M defaults mkfs.btrfs -q && check btrfs
image btrfs-noacl 128M noacl mkfs.btrfs -q && check btrfs-noacl
if tmpfs tmpfs; then check tmpfs; else skipped tmpfs "cannot mount: $(cat "$work/tmpfs.error")"; fi
overlay && check overlayfs
fuse && check bindfs

echo
checks="a-acl b-default-acl c-plain d-in-place d-ulimit d-full"
printf '%-12s' ""; printf '%-15s' $checks; echo time
for row in "${results[@]}"; do
  read -r name time cells <<<"$row"
  printf '%-12s' "$name"
  for column in $checks; do
    status=-
    for cell in $cells; do [ "${cell%%=*}" = "$column" ] && status=${cell#*=}; done
    printf '%-15s' "$status"
  done
  echo "$time"
done
exit $failed
