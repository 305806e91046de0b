# Both fuzzers, 30 s a target, from the committed corpus.
cmake --preset fuzz
cmake --build --preset fuzz
bash fuzz/run.sh build-fuzz 30
