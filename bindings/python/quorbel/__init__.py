"""Quorbel from Python: writes a line of text as a Standard MIDI File.

    import quorbel
    quorbel.write_midi("hello", 48, "hello.mid")

The native library is loaded on the first call: from the path in the
QUORBEL_LIBRARY environment variable if it is set, otherwise the installed
one (libquorbel.so.1 through the loader's search, QUORBEL.dll on Windows),
or from the path given to load().
"""
import ctypes
import ctypes.util
import errno
import operator
import os
import re
import sys

__all__ = ["OK", "MAX_NOTE_TICKS", "load", "write_midi"]

OK = 999
MAX_NOTE_TICKS = 0x0FFFFFFF

_WINDOWS = sys.platform == "win32"
_UTF16 = "utf-16-le" if sys.byteorder == "little" else "utf-16-be"
_library = None


def _installed_library():
    """The name the loader finds the installed library by."""
    if _WINDOWS:
        return "QUORBEL.dll"
    return ctypes.util.find_library("quorbel") or "libquorbel.so.1"


def load(path=None):
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
    path = os.fsdecode(path)
    try:
        # QUORBEL.dll sets the thread's last error as well as its own C
        # runtime's errno, which need not be the errno Python's runtime sees.
        library = ctypes.CDLL(path, use_errno=not _WINDOWS, use_last_error=_WINDOWS)
        function = library.WriteMIDI
    except (OSError, AttributeError) as error:
        raise OSError(f"cannot load the Quorbel library {path!r}{hint}: {error}") from None
    function.argtypes = [ctypes.c_char_p, ctypes.c_int32, ctypes.c_char_p]
    function.restype = ctypes.c_int32
    _library = library
    return library


# A surrogate in a str is always unpaired: a pair would be one character.
# Two side by side would become a pair in UTF-16, another character.
_SURROGATE = re.compile("[\ud800-\udfff]")


def _utf16(text, what):
    """`text` as null-terminated UTF-16 in the machine's byte order.

    A NUL would end the string early on the C side, so it is refused, as
    open() refuses one. Each surrogate becomes U+FFFD, as the library does
    with unpaired ones, so that two side by side do not become a pair.
    """
    if "\0" in text:
        raise ValueError(f"embedded null character in {what}")
    return _SURROGATE.sub("\ufffd", text).encode(_UTF16) + b"\0\0"


def _raise(error, filename):
    """Raises the OSError subclass for `error`, as open() would."""
    raise OSError(error, os.strerror(error), filename)


def write_midi(text, note_ticks, path):
    """Writes `text` (str) as a MIDI file at `path` (str, bytes or
    os.PathLike): one note of `note_ticks` ticks, an int from 0 to
    MAX_NOTE_TICKS, for every byte of the text in the system's encoding.

    Raises TypeError for text that is not a str or ticks that are not an
    int, ValueError for a NUL in the text or path, and OSError with the
    errno and filename when the file is not written: EINVAL for ticks out
    of range, ENOENT for a missing directory, and so on. After an error the
    file at `path` is as it was.
    """
    if not isinstance(text, str):
        raise TypeError(f"text must be str, not {type(text).__name__}")
    if isinstance(note_ticks, bool) or not hasattr(type(note_ticks), "__index__"):
        raise TypeError(f"note_ticks must be int, not {type(note_ticks).__name__}")
    note_ticks = operator.index(note_ticks)
    filename = os.fspath(path)  # kept as given for the error, as open() does
    path_text = os.fsdecode(filename)
    notes, native_path = _utf16(text, "text"), _utf16(path_text, "path")
    if not 0 <= note_ticks <= MAX_NOTE_TICKS:  # before the 32-bit argument wraps
        _raise(errno.EINVAL, filename)
    if _SURROGATE.search(path_text):  # names no file, as in the library
        _raise(errno.EILSEQ, filename)
    library = _library or load()
    if library.WriteMIDI(notes, note_ticks, native_path) != OK:
        if _WINDOWS:
            code = ctypes.get_last_error()
            raise OSError(0, ctypes.FormatError(code), filename, code)
        _raise(ctypes.get_errno(), filename)
