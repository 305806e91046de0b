"""Quorbel from Python: writes a line of text as a Standard MIDI File.

    import quorbel
    quorbel.write_midi("hello", 48, "hello.mid")
    data = quorbel.to_bytes("hello", 48)

The native library is loaded on the first call: from the path in the
QUORBEL_LIBRARY environment variable if it is set, otherwise the installed
one (libquorbel.so.1 through the loader's search, QUORBEL.dll on Windows),
or from the path given to load().
"""
from __future__ import annotations

import ctypes
import errno
import operator
import os
import re
import sys
from typing import Any, Final, Optional, Protocol, SupportsIndex, Tuple, Union

__all__ = ["OK", "MAX_NOTE_TICKS", "load", "to_bytes", "write_midi", "__version__"]

OK: Final = 999
MAX_NOTE_TICKS: Final = 0x0FFFFFFF


# Found when first asked for: looking up the installed metadata reads
# sys.path, a cost every import would otherwise pay.
__version__: str


def __getattr__(name: str) -> Any:
    if name == "__version__":
        globals()["__version__"] = version = _version()
        return version
    raise AttributeError(f"module {__name__!r} has no attribute {name!r}")


def _version() -> str:
    import importlib.metadata
    try:
        installed = importlib.metadata.distribution("quorbel")
        # Only if that is this copy: a source tree on sys.path is not the
        # installed package beside it.
        if os.path.samefile(installed.locate_file("quorbel/__init__.py"), __file__):
            return installed.version
    except (importlib.metadata.PackageNotFoundError, OSError):
        pass
    # Imported from the source tree (or an editable install), where
    # pyproject.toml, beside the package, holds the version pip would install.
    try:
        with open(os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                               "pyproject.toml"), encoding="utf-8") as project:
            found = re.search(r'^version = "([^"]+)"', project.read(), re.MULTILINE)
    except OSError:
        found = None
    return found.group(1) if found else "0+unknown"


StrOrBytesPath = Union[str, bytes, "os.PathLike[str]", "os.PathLike[bytes]"]


class BinaryWriter(Protocol):
    """What write_midi() needs of a file object: a write() taking bytes."""

    def write(self, __data: bytes) -> object: ...


# sys.platform is spelt out at each use rather than held in a name, so that
# type checkers know which calls each platform has.
_UTF16: Final = "utf-16-le" if sys.byteorder == "little" else "utf-16-be"
# An anonymous memory file, reached by its /proc/self/fd path, keeps
# to_bytes() off the disk; elsewhere a private temporary file serves.
_MEMORY_FILES = sys.platform == "linux" and os.path.isdir("/proc/self/fd")
_library: Optional[ctypes.CDLL] = None


def _installed_library() -> str:
    """The name the loader finds the installed library by."""
    if sys.platform == "win32":
        return "QUORBEL.dll"
    import ctypes.util  # only here: it brings subprocess and shutil with it

    return ctypes.util.find_library("quorbel") or "libquorbel.so.1"


def load(path: Optional[StrOrBytesPath] = None) -> ctypes.CDLL:
    """Loads the library from `path` (str, bytes or os.PathLike), or from
    QUORBEL_LIBRARY, or the installed one, and uses it from then on.

    Raises OSError, naming what was tried, when it cannot be loaded.
    """
    global _library
    hint = ""
    if path is None:
        path = os.environ.get("QUORBEL_LIBRARY")
        hint = " (from QUORBEL_LIBRARY)" if path else " (set QUORBEL_LIBRARY to its path)"
        path = path or _installed_library()
    name = os.fsdecode(path)
    try:
        # QUORBEL.dll sets the thread's last error as well as its own C
        # runtime's errno, which need not be the errno Python's runtime sees.
        windows = sys.platform == "win32"
        library = ctypes.CDLL(name, use_errno=not windows, use_last_error=windows)
        function = library.WriteMIDI
    except (OSError, AttributeError) as error:
        raise OSError(f"cannot load the Quorbel library {name!r}{hint}: {error}") from None
    function.argtypes = [ctypes.c_char_p, ctypes.c_int32, ctypes.c_char_p]
    function.restype = ctypes.c_int32
    _library = library
    return library


# A surrogate in a str is always unpaired: a pair would be one character.
# Two side by side would become a pair in UTF-16, another character.
_SURROGATE: Final = re.compile("[\ud800-\udfff]")


def _utf16(text: str, what: str) -> bytes:
    """`text` as null-terminated UTF-16 in the machine's byte order.

    A NUL would end the string early on the C side, so it is refused, as
    open() refuses one. Each surrogate becomes U+FFFD, as the library does
    with unpaired ones, so that two side by side do not become a pair.
    """
    if "\0" in text:
        raise ValueError(f"embedded null character in {what}")
    return _SURROGATE.sub("\ufffd", text).encode(_UTF16) + b"\0\0"


def _arguments(text: str, note_ticks: SupportsIndex) -> Tuple[bytes, int]:
    """Checks the arguments every call shares; returns them for the library."""
    if not isinstance(text, str):
        raise TypeError(f"text must be str, not {type(text).__name__}")
    # Any integer (numpy's too, through __index__), but not a bool: True
    # ticks is surely a mistake. A float or a numeric str would be silently
    # cut or parsed.
    if isinstance(note_ticks, bool) or not hasattr(type(note_ticks), "__index__"):
        raise TypeError(f"note_ticks must be int, not {type(note_ticks).__name__}")
    ticks = operator.index(note_ticks)
    if not 0 <= ticks <= MAX_NOTE_TICKS:  # before the 32-bit argument wraps
        raise ValueError(f"note_ticks must be from 0 to {MAX_NOTE_TICKS}, not {ticks}")
    return _utf16(text, "text"), ticks


def _write(notes: bytes, note_ticks: int, path: str, filename: Optional[StrOrBytesPath]) -> None:
    """Calls the library; raises OSError, naming `filename`, when it fails."""
    native_path = _utf16(path, "path")
    if _SURROGATE.search(path):  # names no file, as in the library
        raise OSError(errno.EILSEQ, os.strerror(errno.EILSEQ), filename)
    library = _library or load()
    if library.WriteMIDI(notes, note_ticks, native_path) != OK:
        if sys.platform == "win32":
            code = ctypes.get_last_error()
            raise OSError(0, ctypes.FormatError(code), filename, code)
        error = ctypes.get_errno()
        raise OSError(error, os.strerror(error), filename)


def to_bytes(text: str, note_ticks: SupportsIndex) -> bytes:
    """The MIDI file write_midi() would write for `text` and `note_ticks`."""
    notes, ticks = _arguments(text, note_ticks)
    if sys.platform == "linux" and _MEMORY_FILES:
        descriptor = os.memfd_create("quorbel", os.MFD_CLOEXEC)
        # The library opens this path anew and writes from the start;
        # this descriptor still reads from offset 0.
        with open(descriptor, "rb") as memory:
            _write(notes, ticks, f"/proc/self/fd/{descriptor}", None)
            return memory.read()
    import tempfile  # only here: it brings shutil and random with it

    # The folder is the caller's alone, and goes with whatever is in it.
    with tempfile.TemporaryDirectory(prefix="quorbel-") as folder:
        path = os.path.join(folder, "notes.mid")
        _write(notes, ticks, path, None)
        with open(path, "rb") as scratch:
            return scratch.read()


def write_midi(text: str, note_ticks: SupportsIndex,
               file: Union[StrOrBytesPath, BinaryWriter]) -> None:
    """Writes `text` (str) as a MIDI file: one note of `note_ticks` ticks, an
    integer from 0 to MAX_NOTE_TICKS, for every byte of the text in the system's
    encoding.

    `file` is a path (str, bytes or os.PathLike), which the library replaces
    whole or leaves as it was, or a binary file object, such as
    open(..., "wb") or io.BytesIO, which is given the whole file in one
    write() at its current position.

    Raises TypeError for text that is not a str or ticks that are not an
    int, ValueError for ticks out of range or a NUL in the text or path, and
    OSError with the errno and filename (as open() gives it) when the file
    is not written: ENOENT for a missing directory, and so on. After an
    error the file at the path is as it was, and a file object is not
    written to.
    """
    if not isinstance(file, (str, bytes, os.PathLike)):
        if not hasattr(file, "write"):
            raise TypeError("file must be a path or a binary file object, "
                            f"not {type(file).__name__}")
        file.write(to_bytes(text, note_ticks))
        return
    notes, ticks = _arguments(text, note_ticks)
    filename = os.fspath(file)  # kept as given for the error, as open() does
    _write(notes, ticks, os.fsdecode(filename), filename)
