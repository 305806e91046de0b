# The Linux library and tool, with the whole test suite: first, so that
# their failures show without waiting for anything else. Built with the
# Debian packages' own compiler flags and hardening, so that this suite is
# also the packages' own: stage 78 builds them without it.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
eval "$(dpkg-buildflags --export=sh)"
cmake --workflow --preset default
