# The Linux library and tool, with the whole test suite: first, so that
# their failures show without waiting for anything else. Built as
# dh_auto_configure builds the Debian packages (dpkg-buildflags' full
# hardening, the preprocessor's flags with the compiler's, no build type of
# CMake's own), so that this suite is also the packages' own and stage 78
# builds them without it; on top, FORTIFY_SOURCE=3 and libstdc++'s
# assertions, which only add checks. Warnings are errors.
source .ci/debian-flags.sh
debian_flags "-U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=3 -D_GLIBCXX_ASSERTIONS"
cmake --preset default -DCMAKE_BUILD_TYPE=None
cmake --build --preset default
ctest --preset default
