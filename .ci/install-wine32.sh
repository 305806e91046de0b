# Sourced by .ci/run and the 32-bit Windows stages: installs Debian's 32-bit
# Wine, an i386 package, unless it is there. .ci/run does it before any
# stage starts, so that what its installation upgrades disturbs no running
# stage; a stage run by hand does it itself.
#
# A mirror whose i386 lists are missing or out of step with the machine's
# own packages (as while it syncs) is outside the project's control: then
# this says so, and the stage runs what needs no 32-bit Wine and reports
# the rest as skipped. Within one run of .ci/run it is tried once: a mirror
# that failed a minute ago fails again, after a minute of retries.
install_wine32() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "ok installed" && return 0
  if [ -n "${QUORBEL_CI_WINE32_TRIED:-}" ]; then
    echo "SKIPPED: wine32:i386 could not be installed when this run began"
    return 1
  fi
  export QUORBEL_CI_WINE32_TRIED=1
  dpkg --add-architecture i386
  source .ci/apt.sh
  # Once: i386 lists that are out of step are so for longer than a retry
  # waits, and the whole run would wait with it.
  apt_update 1
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq wine32:i386 && return 0
  echo "SKIPPED: wine32:i386 could not be installed from the package mirror (see above)"
  return 1
}
