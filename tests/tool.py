"""Runs the quorbel tool for the tool's tests."""
import functools
import json
import os
import subprocess
import tempfile
import unittest

TOOL = os.environ.get("QUORBEL_TOOL", "quorbel")
# The header's QUORBEL_MAX_NOTE_TICKS, handed over by the build.
MAX_NOTE_TICKS = int(os.environ["QUORBEL_MAX_NOTE_TICKS"])
# The documented example that every suite compares with: the file, and the
# text and note length that make it.
_FIXTURES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "fixtures")
with open(os.path.join(_FIXTURES, "example.mid"), "rb") as _example:
    EXAMPLE = _example.read()
with open(os.path.join(_FIXTURES, "example.json"), encoding="utf-8") as _example:
    _made_of = json.load(_example)
EXAMPLE_TEXT, EXAMPLE_TICKS = _made_of["text"], str(_made_of["noteTicks"])
# quorbel.exe under Wine: its text lines end in CR LF, and its notes are the
# bytes of the ANSI code page, 1252 there.
WINDOWS = os.environ.get("QUORBEL_TOOL_PLATFORM") == "windows"
posix_only = unittest.skipIf(WINDOWS, "no such thing on Windows")
# What the tool does alike everywhere (options in cli/Options.cpp, the summary
# in cli/Summary.cpp, the rest in cli/main.cpp) is tested by the native runs
# of this suite; under Wine, where every call starts a Windows program, the
# cases that reach the cli/*_win32.cpp twins (arguments, code page, standard
# streams, file sizes and errors) run.
shared_logic = unittest.skipIf(
    WINDOWS, "shared code (cli/Options.cpp, cli/Summary.cpp, cli/main.cpp): tested by the "
    "native runs")


def multibyte(text):
    """The bytes the tool makes notes of."""
    return text.encode("cp1252", "replace") if WINDOWS else text.encode()


def as_lines(output):
    return output.replace(b"\r\n", b"\n") if WINDOWS else output


def run(*args, stdin=b"", cwd=None):
    result = subprocess.run([TOOL, *args], input=stdin, capture_output=True,
                            cwd=cwd, timeout=120)
    result.stderr = as_lines(result.stderr)
    if not result.stdout.startswith(b"MThd"):
        result.stdout = as_lines(result.stdout)
    return result


def run_without_proc(*args, stdin=b"", env=None, file_blocks=None):
    """Runs the tool with /proc hidden, as in a container or a chroot: in a
    mount namespace of its own, under an optional file size limit."""
    limit = f"ulimit -f {file_blocks} && " if file_blocks else ""
    script = f'mount -t tmpfs none /proc && {limit}exec "$0" "$@"'
    return subprocess.run(["unshare", "-m", "sh", "-c", script, TOOL, *args], input=stdin,
                          env=env, capture_output=True, timeout=120)


@functools.cache
def proc_can_be_hidden():
    try:
        return run_without_proc("--version").returncode == 0
    except FileNotFoundError:  # no unshare
        return False


class ToolTestCase(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory(prefix="quorbel-")
        self.dir = self._dir.name
        self.addCleanup(self._dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir, name)
