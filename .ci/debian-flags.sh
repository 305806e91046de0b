# Sourced by the stages that build with the Debian packages' compiler flags.
# debian_flags EXTRA exports CFLAGS, CXXFLAGS and LDFLAGS as
# dh_auto_configure hands them to CMake (dpkg-buildflags' full hardening,
# the preprocessor's flags joined to the compiler's, which CMake would not
# read on their own), with EXTRA after them.
debian_flags() {
  local extra=$1 cppflags
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cppflags=$(dpkg-buildflags --get CPPFLAGS)
  export CFLAGS="$cppflags $(dpkg-buildflags --get CFLAGS) $extra"
  export CXXFLAGS="$cppflags $(dpkg-buildflags --get CXXFLAGS) $extra"
  export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
}
