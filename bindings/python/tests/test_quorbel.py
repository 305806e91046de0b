"""The Python package: the files it writes, what it refuses, and the errors it raises."""
import errno
import io
import json
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest
import unittest.mock

import quorbel
import quorbel.__main__

HERE = os.path.dirname(os.path.abspath(__file__))
# The documented example that every suite compares with: the file, and the
# text and note length that make it.
FIXTURES = os.path.join(HERE, "..", "..", "..", "tests", "fixtures")
with open(os.path.join(FIXTURES, "example.mid"), "rb") as _example:
    EXAMPLE = _example.read()
with open(os.path.join(FIXTURES, "example.json"), encoding="utf-8") as _example:
    _made_of = json.load(_example)
EXAMPLE_TEXT, EXAMPLE_TICKS = _made_of["text"], _made_of["noteTicks"]


class InTemporaryDirectory(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(prefix="quorbel-python-")
        self.addCleanup(self._dir.cleanup)
        self.dir = self._dir.name


class WriteMIDI(InTemporaryDirectory):
    def test_writes_the_documented_example(self):
        path = os.path.join(self.dir, "example.mid")
        quorbel.write_midi(EXAMPLE_TEXT, EXAMPLE_TICKS, path)
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
                ("AB", -1, path, ValueError),
                ("AB", quorbel.MAX_NOTE_TICKS + 1, path, ValueError),
                ("AB", 2**32 + 48, path, ValueError),  # would wrap to 48
                ("AB", 2**100, path, ValueError),
                (b"AB", 48, path, TypeError),
                (None, 48, path, TypeError),
                ("AB", 48.0, path, TypeError),
                ("AB", True, path, TypeError),
                ("AB", "48", path, TypeError),
                ("AB", 48, None, TypeError),
                ("AB", 48, 3, TypeError)):
            with self.subTest(text=text, ticks=ticks, path=path_):
                self.assertRaises(refusal, quorbel.write_midi, text, ticks, path_)
                if path_ == path:  # the same refusals for a file object, left unwritten
                    file = io.BytesIO()
                    self.assertRaises(refusal, quorbel.write_midi, text, ticks, file)
                    self.assertEqual(file.getvalue(), b"")
                    self.assertRaises(refusal, quorbel.to_bytes, text, ticks)
        self.assertEqual(os.listdir(self.dir), [])

    def test_errors_raise_oserror_with_the_errno_and_filename_open_gives(self):
        missing = os.path.join(self.dir, "no", "such", "x.mid")
        for path, error in (
                (missing, errno.ENOENT),
                (os.fsencode(missing), errno.ENOENT),
                (pathlib.Path(missing), errno.ENOENT),
                (os.path.join(os.fsencode(self.dir), b"\xff.mid"), errno.EILSEQ),  # no UTF-8 name
                (os.path.join(self.dir, "\ud83d\ude00.mid"), errno.EILSEQ)):  # lone surrogates
            with self.subTest(path=path):
                with self.assertRaises(OSError) as raised:
                    quorbel.write_midi("A", 48, path)
                self.assertEqual(raised.exception.errno, error)
                if error == errno.ENOENT:
                    with self.assertRaises(OSError) as opened:
                        open(path, "wb")
                    self.assertEqual(raised.exception.filename, opened.exception.filename)
                else:
                    self.assertEqual(raised.exception.filename, path)
        self.assertEqual(os.listdir(self.dir), [])

    def test_the_library_comes_from_quorbel_library_then_the_loader_search(self):
        library = os.environ.get("QUORBEL_LIBRARY")
        if not library:
            self.skipTest("QUORBEL_LIBRARY names no library to put on the search path")
        program = f"import quorbel, sys; quorbel.write_midi({EXAMPLE_TEXT!r}, {EXAMPLE_TICKS}, sys.argv[1])"
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


class BytesAndFileObjects(InTemporaryDirectory):
    """to_bytes() and file objects take the library's own file, byte for byte."""

    def test_the_same_file_as_written_to_a_path(self):
        self.assertEqual(quorbel.to_bytes(EXAMPLE_TEXT, EXAMPLE_TICKS), EXAMPLE)
        index = type("Index", (), {"__index__": lambda self: EXAMPLE_TICKS})  # as numpy's integers are
        self.assertEqual(quorbel.to_bytes(EXAMPLE_TEXT, index()), EXAMPLE)
        path = os.path.join(self.dir, "x.mid")
        for text, ticks in (("A", 0), ("A", quorbel.MAX_NOTE_TICKS), ("A" * 100000, 1)):
            with self.subTest(ticks=ticks, length=len(text)):
                quorbel.write_midi(text, ticks, path)
                with open(path, "rb") as file:
                    self.assertEqual(quorbel.to_bytes(text, ticks), file.read())
        # The longest note: its length is the largest 4-byte quantity.
        self.assertEqual(quorbel.to_bytes("A", quorbel.MAX_NOTE_TICKS)[-15:],
                         bytes.fromhex("0090417f" "ffffff7f804100" "00ff2f00"))

    def test_no_descriptor_or_file_left_behind(self):
        descriptors = len(os.listdir("/proc/self/fd")) if os.path.isdir("/proc/self/fd") else 0
        for _ in range(3):
            quorbel.to_bytes("AB", 48)
        if descriptors:
            self.assertEqual(len(os.listdir("/proc/self/fd")), descriptors)
        # Where there are no memory files, a private temporary one, removed.
        with unittest.mock.patch.object(quorbel, "_MEMORY_FILES", False), \
                unittest.mock.patch.object(tempfile, "tempdir", self.dir):
            self.assertEqual(quorbel.to_bytes(EXAMPLE_TEXT, EXAMPLE_TICKS), EXAMPLE)
        self.assertEqual(os.listdir(self.dir), [])

    def test_file_objects_get_the_file_at_their_position(self):
        buffer = io.BytesIO(b"head")
        buffer.seek(0, io.SEEK_END)
        quorbel.write_midi(EXAMPLE_TEXT, EXAMPLE_TICKS, buffer)
        self.assertEqual(buffer.getvalue(), b"head" + EXAMPLE)
        path = os.path.join(self.dir, "x.mid")
        with open(path, "wb") as file:
            quorbel.write_midi(EXAMPLE_TEXT, EXAMPLE_TICKS, file)
        with open(path, "rb") as file:
            self.assertEqual(file.read(), EXAMPLE)


class Metadata(unittest.TestCase):
    def test_version_is_the_project_version(self):
        with open(os.path.join(HERE, os.pardir, "pyproject.toml"), encoding="utf-8") as project:
            self.assertIn(f'\nversion = "{quorbel.__version__}"\n', project.read())


class Tool(unittest.TestCase):
    """python -m quorbel, with the options of the native tool."""

    def run_tool(self, *arguments, stdin=b""):
        """Runs the tool in this process: exit status, standard output and error."""
        streams = [io.TextIOWrapper(io.BytesIO(data)) for data in (stdin, b"", b"")]
        with unittest.mock.patch.multiple(sys, stdin=streams[0], stdout=streams[1], stderr=streams[2]):
            try:
                status = quorbel.__main__.main(list(arguments))
            except SystemExit as exit:
                status = exit.code
        for stream in streams:
            stream.flush()
        return status, streams[1].buffer.getvalue(), streams[2].buffer.getvalue()

    def test_writes_files_and_standard_output(self):
        with tempfile.TemporaryDirectory(prefix="quorbel-python-") as folder:
            path = os.path.join(folder, "x.mid")
            status, stdout, _ = self.run_tool("-o", path, stdin=b"AB")  # a second a note
            self.assertEqual((status, stdout), (0, f"{path}: 2 notes, 2 s, 68 bytes\n".encode()))
            with open(path, "rb") as file:
                self.assertEqual(file.read(), quorbel.to_bytes("AB", 24))
            status, stdout, _ = self.run_tool("A", "-o", path, "B", "-t", "130")  # words joined by a space
            self.assertEqual(stdout, f"{path}: 3 notes, 16.25 s, 79 bytes\n".encode())
            with open(path, "rb") as file:
                self.assertEqual(file.read(), quorbel.to_bytes("A B", 130))
        run = subprocess.run(  # as python -m, which runs the package's __main__
            [sys.executable, "-m", "quorbel", f"--ticks={EXAMPLE_TICKS}", "--output", "-", EXAMPLE_TEXT],
            capture_output=True,
            env=dict(os.environ, PYTHONPATH=os.path.dirname(os.path.dirname(quorbel.__file__))))
        self.assertEqual((run.returncode, run.stdout, run.stderr),
                         (0, EXAMPLE, f"standard output: 2 notes, 4 s, {len(EXAMPLE)} bytes\n".encode()))

    def test_exit_status_and_messages(self):
        for arguments, stdin, status, message in (
                (["-V"], b"", 0, f"quorbel {quorbel.__version__}"),
                (["-o", "-", "-t", str(quorbel.MAX_NOTE_TICKS + 1), "A"], b"", 2, "must be from 0 to"),
                (["-o", "-", "-t", "4.5", "A"], b"", 2, "not a whole number"),
                (["-o", "-"], b"A\xffB", 2, "text is not valid UTF-8 at byte 1"),
                (["-o", "-"], b"A\0B", 2, "text holds a NUL byte at byte 1"),
                (["A"], b"", 2, "-o"),
                (["-o", os.path.join("no", "such", "x.mid"), "A"], b"", 1, "cannot write")):
            with self.subTest(arguments=arguments, stdin=stdin):
                status_, stdout, stderr = self.run_tool(*arguments, stdin=stdin)
                self.assertEqual(status_, status)
                self.assertIn(message, (stdout + stderr).decode())
                if status:
                    self.assertEqual(stdout, b"")


if __name__ == "__main__":
    unittest.main()
