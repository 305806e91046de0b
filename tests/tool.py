"""Runs the quorbel tool for the tool's tests."""
import os
import subprocess
import tempfile
import unittest

TOOL = os.environ.get("QUORBEL_TOOL", "quorbel")


def run(*args, stdin=b"", cwd=None):
    return subprocess.run([TOOL, *args], input=stdin, capture_output=True,
                          cwd=cwd, timeout=60)


class ToolTestCase(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(prefix="quorbel-")
        self.dir = self._dir.name
        self.addCleanup(self._dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir, name)
