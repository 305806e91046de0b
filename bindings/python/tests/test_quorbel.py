"""The Python package: the files it writes, what it refuses, and the errors it raises."""
import errno
import os
import pathlib
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
        quorbel.write_midi("A\ud800", 1, path)  # U+FFFD for the lone surrogate: 3 bytes
        self.assertEqual(os.path.getsize(path), 52 + 4 * 8)
        quorbel.write_midi("\ud83d\ude00", 1, path)  # two lone ones, not a pair: 3 + 3
        self.assertEqual(os.path.getsize(path), 52 + 6 * 8)

    def test_paths_may_be_bytes_or_path_objects(self):
        quorbel.write_midi("A", 1, os.fsencode(os.path.join(self.dir, "bytes.mid")))
        quorbel.write_midi("A", 1, pathlib.Path(self.dir) / "path.mid")
        self.assertEqual(sorted(os.listdir(self.dir)), ["bytes.mid", "path.mid"])

    def test_refuses_what_the_library_cannot_take(self):
        path = os.path.join(self.dir, "x.mid")
        for text, ticks, path_, refusal in (
                ("A\0B", 48, path, ValueError),
                ("AB", 48, path + "\0.mid", ValueError),
                ("AB", 48, os.fsencode(path) + b"\0", ValueError),
                (b"AB", 48, path, TypeError),
                (None, 48, path, TypeError),
                ("AB", 48.9, path, TypeError),
                ("AB", True, path, TypeError),
                ("AB", "48", path, TypeError),
                ("AB", 48, None, TypeError)):
            with self.subTest(text=text, ticks=ticks, path=path_):
                self.assertRaises(refusal, quorbel.write_midi, text, ticks, path_)
        self.assertEqual(os.listdir(self.dir), [])

    def test_errors_raise_oserror_with_the_errno_and_filename(self):
        for ticks, path, error in (
                (-1, "x.mid", errno.EINVAL),
                (quorbel.MAX_NOTE_TICKS + 1, "x.mid", errno.EINVAL),
                (2**32 + 48, "x.mid", errno.EINVAL),
                (2**100, "x.mid", errno.EINVAL),
                (48, os.path.join("no", "such", "x.mid"), errno.ENOENT),
                (48, b"\xff.mid", errno.EILSEQ),  # no UTF-8 name: not another file
                (48, "\ud83d\ude00.mid", errno.EILSEQ)):  # lone surrogates, not U+1F600
            path = os.path.join(os.fsencode(self.dir) if isinstance(path, bytes) else self.dir, path)
            with self.subTest(ticks=ticks, path=path):
                with self.assertRaises(OSError) as raised:
                    quorbel.write_midi("A", ticks, path)
                self.assertEqual((raised.exception.errno, raised.exception.filename), (error, path))
        self.assertEqual(os.listdir(self.dir), [])

    def test_the_library_comes_from_quorbel_library_then_the_loader_search(self):
        library = os.environ.get("QUORBEL_LIBRARY")
        if not library:
            self.skipTest("QUORBEL_LIBRARY names no library to put on the search path")
        program = "import quorbel, sys; quorbel.write_midi('AB', 48, sys.argv[1])"
        path = os.path.join(self.dir, "searched.mid")
        environment = dict(os.environ, LD_LIBRARY_PATH=os.path.dirname(library),
                           PYTHONPATH=os.path.dirname(os.path.dirname(quorbel.__file__)))
        del environment["QUORBEL_LIBRARY"]
        subprocess.run([sys.executable, "-c", program, path], check=True, env=environment)
        with open(path, "rb") as file:
            self.assertEqual(file.read(), EXAMPLE)
        missing = os.path.join(self.dir, "missing.so")
        environment["QUORBEL_LIBRARY"] = missing
        run = subprocess.run([sys.executable, "-c", program, path + "2"], env=environment,
                             capture_output=True, text=True)
        self.assertIn(f"cannot load the Quorbel library {missing!r} (from QUORBEL_LIBRARY)", run.stderr)


if __name__ == "__main__":
    unittest.main()
