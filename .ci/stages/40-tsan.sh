# The concurrency tests under ThreadSanitizer.
cmake --preset tsan
cmake --build --preset tsan --target quorbel_concurrency_tests
ctest --preset tsan
