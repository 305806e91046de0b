"""Runs the named unittest modules for ctest: exit 0 when every case passed,
77 (the test's SKIP_RETURN_CODE) when all that ran passed but some were
skipped, and 1 on any failure, which no skip can then hide."""
import sys
import unittest

if __name__ == "__main__":
    suite = unittest.defaultTestLoader.loadTestsFromNames(sys.argv[1:])
    result = unittest.TextTestRunner(verbosity=2).run(suite)
    if not result.wasSuccessful():
        sys.exit(1)
    sys.exit(77 if result.skipped else 0)
