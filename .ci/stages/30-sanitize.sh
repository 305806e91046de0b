# The suite under AddressSanitizer and UndefinedBehaviorSanitizer.
cmake --workflow --preset sanitize
