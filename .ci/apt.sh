# Sourced by .ci/run and the stages that install packages of their own.
# A package list that fails to download (a mirror in the middle of a sync)
# is tried again, up to TRIES times in all (3 unless told); whatever
# install follows decides whether what is there serves. Never fails itself.
#   apt_update [TRIES]
apt_update() {
  local try tries=${1:-3}
  for ((try = 1; try <= tries; try++)); do
    apt-get update -qq && return 0
    echo "apt-get update failed (try $try of $tries)"
    [ "$try" = "$tries" ] || sleep 20
  done
  return 0
}
