# The suite under AddressSanitizer and UndefinedBehaviorSanitizer (clang),
# then both fuzzers from the same build, 30 s a target from the committed
# corpus: one build serves both, since the fuzzers need those sanitizers.
cmake --workflow --preset sanitize
bash fuzz/run.sh build-sanitize 30
