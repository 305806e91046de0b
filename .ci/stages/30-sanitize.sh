# clang: the suite under AddressSanitizer and UndefinedBehaviorSanitizer,
# then both fuzzers from the same build, side by side for 15 s from the
# committed corpus (the fuzzers need those sanitizers; a longer run is
# `bash fuzz/run.sh build-sanitize SECONDS`). Built with the distribution's
# flags too (dpkg-buildflags' full hardening, warnings as errors) and
# libstdc++'s assertions, so that clang meets the flags GCC meets in stage
# 10; FORTIFY_SOURCE, whose checked calls the sanitizer cannot see into, is
# left to that stage.
source .ci/debian-flags.sh
debian_flags "-U_FORTIFY_SOURCE -D_GLIBCXX_ASSERTIONS"
cmake --preset sanitize
cmake --build --preset sanitize
# Less the two calls that write a track of 4 GiB (20 s under the sanitizers):
# what they check is arithmetic on 64-bit sizes, and the buffers they pass
# through are those of every long call here; stage 10 and the 32-bit armhf
# build run them.
ctest --preset sanitize -E '^WriteMIDITest\.(TheLongestTrackTheLengthFieldHolds|ATrackPastFourGibibytes)'
bash fuzz/run.sh build-sanitize 15
