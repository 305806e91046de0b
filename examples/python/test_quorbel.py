"""The Python host: files it writes, and the errors it raises."""
import errno
import os
import subprocess
import sys
import tempfile
import unittest

import quorbel

EXAMPLE = bytes.fromhex(
    "4d546864000000060000000100604d54726b0000002e00ff0307747261636b2031"
    "00ff58040402240800ff5103" "3d0900" "0090417f30804100" "0090427f30804200"
    "00ff2f00")


class WriteMIDI(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        quorbel.load(os.environ.get("QUORBEL_LIBRARY"))

    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(prefix="quorbel-python-")
        self.addCleanup(self._dir.cleanup)
        self.dir = self._dir.name

    def test_writes_the_documented_example(self):
        path = os.path.join(self.dir, "example.mid")
        quorbel.write_midi("AB", 48, path)
        with open(path, "rb") as file:
            self.assertEqual(file.read(), EXAMPLE)

    def test_any_python_text_and_path(self):
        path = os.path.join(self.dir, "\u00fcn\u00ef\u540d.mid")
        quorbel.write_midi("\u00e9\U0001F3B5", 1, path)  # 2 + 4 UTF-8 bytes
        self.assertEqual(os.path.getsize(path), 52 + 6 * 8)

    def test_paths_may_be_bytes_or_path_objects(self):
        import pathlib
        quorbel.write_midi("A", 1, os.fsencode(os.path.join(self.dir, "bytes.mid")))
        quorbel.write_midi("A", 1, pathlib.Path(self.dir) / "path.mid")
        self.assertEqual(sorted(os.listdir(self.dir)), ["bytes.mid", "path.mid"])

    def test_the_loader_search_finds_the_library(self):
        library = os.environ.get("QUORBEL_LIBRARY")
        if not library:
            self.skipTest("QUORBEL_LIBRARY names no library to put on the search path")
        program = ("import quorbel, sys; quorbel.write_midi('AB', 48, sys.argv[1])")
        path = os.path.join(self.dir, "searched.mid")
        environment = dict(os.environ, LD_LIBRARY_PATH=os.path.dirname(library))
        subprocess.run([sys.executable, "-c", program, path], check=True, env=environment,
                       cwd=os.path.dirname(os.path.abspath(__file__)))
        with open(path, "rb") as file:
            self.assertEqual(file.read(), EXAMPLE)

    def test_errors_raise_oserror_with_the_errno(self):
        for ticks in (-1, quorbel.MAX_NOTE_TICKS + 1, 2**32 + 48):
            with self.assertRaises(OSError) as raised:
                quorbel.write_midi("A", ticks, os.path.join(self.dir, "x.mid"))
            self.assertEqual(raised.exception.errno, errno.EINVAL)
        missing = os.path.join(self.dir, "no", "such", "x.mid")
        with self.assertRaises(OSError) as raised:
            quorbel.write_midi("A", 48, missing)
        self.assertEqual(raised.exception.errno, errno.ENOENT)
        self.assertEqual(raised.exception.filename, missing)
        self.assertEqual(os.listdir(self.dir), [])


if __name__ == "__main__":
    unittest.main()
