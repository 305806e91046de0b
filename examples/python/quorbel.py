"""Quorbel from Python: a small ctypes wrapper around WriteMIDI.

    import quorbel
    quorbel.write_midi("hello", 48, "hello.mid")

The library is found through the usual loader search (libquorbel.so.1 on
Linux, QUORBEL.dll on Windows), or at the path given to load().
"""
import ctypes
import ctypes.util
import errno
import os
import sys

OK = 999
MAX_NOTE_TICKS = 0x0FFFFFFF

_library = None


def load(path=None):
    """Loads the library, from `path` if given, and returns it."""
    global _library
    if path is None:
        if sys.platform == "win32":
            path = "QUORBEL.dll"
        else:
            path = ctypes.util.find_library("quorbel") or "libquorbel.so.1"
    library = ctypes.CDLL(path, use_errno=True)
    library.WriteMIDI.argtypes = [ctypes.c_void_p, ctypes.c_int32, ctypes.c_void_p]
    library.WriteMIDI.restype = ctypes.c_int32
    _library = library
    return library


def _utf16(text):
    """A null-terminated UTF-16 buffer in the machine's byte order."""
    encoded = text.encode("utf-16-le" if sys.byteorder == "little" else "utf-16-be",
                          "surrogatepass")
    return ctypes.create_string_buffer(encoded + b"\0\0", len(encoded) + 2)


def write_midi(text, note_ticks, path):
    """Writes `text` as a MIDI file at `path`, a note of `note_ticks` ticks
    for every byte of the text in the system's encoding.

    Raises OSError with the errno of the failure: EINVAL for a note length
    outside 0 to MAX_NOTE_TICKS, ENOENT for a missing directory, and so on.
    """
    library = _library or load()
    path = os.fsdecode(path)  # str, bytes or a path object
    note_ticks = int(note_ticks)
    if not 0 <= note_ticks <= MAX_NOTE_TICKS:  # before the 32-bit argument wraps
        raise OSError(errno.EINVAL, os.strerror(errno.EINVAL), path)
    result = library.WriteMIDI(_utf16(text), note_ticks, _utf16(path))
    if result != OK:
        error = ctypes.get_errno()
        raise OSError(error, os.strerror(error), path)
