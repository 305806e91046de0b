# Sourced by .ci/run and the stages that install packages of their own.
# A package list that fails to download (a mirror in the middle of a sync)
# is tried again; whatever install follows decides whether what is there
# serves. Never fails itself.
apt_update() {
  local try
  for try in 1 2 3; do
    apt-get update -qq && return 0
    echo "apt-get update failed (try $try of 3)"
    [ "$try" = 3 ] || sleep 20
  done
  return 0
}
