"""python -m quorbel: the quorbel tool's options, over the Python package."""
from __future__ import annotations

import argparse
import os
import re
import sys
from typing import List, Optional

from . import MAX_NOTE_TICKS, __version__, to_bytes, write_midi

TICKS_PER_SECOND = 24  # 96 ticks a quarter note, 4 s a quarter note


def _ticks(word: str) -> int:
    # Digits only: int() would also take " 48", "4_8" and other scripts' digits.
    if not re.fullmatch(r"-?[0-9]+", word):
        raise argparse.ArgumentTypeError(f"not a whole number: {word!r}")
    ticks = int(word)
    if not 0 <= ticks <= MAX_NOTE_TICKS:
        raise argparse.ArgumentTypeError(f"must be from 0 to {MAX_NOTE_TICKS}")
    return ticks


def _summary(name: str, text: str, ticks: int) -> str:
    # Windows encodes the text in its ANSI code page ("mbcs"), a note a byte.
    notes = len(text.encode("mbcs" if sys.platform == "win32" else "utf-8", "replace"))
    seconds = f"{notes * ticks / TICKS_PER_SECOND:.3f}".rstrip("0").rstrip(".")
    # Every note is 7 bytes and its delta time; the rest of the file is 52.
    size = 52 + notes * (7 + max(1, (ticks.bit_length() + 6) // 7))
    return f"{name}: {notes} note{'' if notes == 1 else 's'}, {seconds} s, {size} bytes"


def _is_standard_output(path: str) -> bool:
    """Whether `path` is standard output by another name, /dev/stdout say."""
    try:
        named, output = os.stat(path), os.fstat(sys.stdout.fileno())
    except (OSError, ValueError):
        return False
    return (named.st_dev, named.st_ino) == (output.st_dev, output.st_ino)


def main(arguments: Optional[List[str]] = None) -> int:
    parser = argparse.ArgumentParser(
        prog="python -m quorbel",
        description="Writes TEXT (its words joined by spaces, or all of standard input "
                    "when there are none) as a MIDI file, a note for every byte.")
    parser.add_argument("-o", "--output", metavar="FILE", required=True,
                        help="the file to write, replaced if it exists; - for standard output")
    parser.add_argument("-t", "--ticks", metavar="TICKS", type=_ticks, default=TICKS_PER_SECOND,
                        help=f"the length of every note, 0 to {MAX_NOTE_TICKS}; default 24, one second")
    parser.add_argument("-V", "--version", action="version", version=f"quorbel {__version__}")
    parser.add_argument("text", metavar="TEXT", nargs="*")
    options = parser.parse_intermixed_args(arguments)

    if options.text:
        # Back to the bytes the words came as, so that what is not UTF-8 is
        # refused here as it is from standard input.
        data = os.fsencode(" ".join(options.text))
    else:
        data = sys.stdin.buffer.read()
    try:
        text = data.decode("utf-8")
    except UnicodeDecodeError as error:
        parser.error(f"text is not valid UTF-8 at byte {error.start}")
    if "\0" in text:
        parser.error(f"text holds a NUL byte at byte {data.index(0)}")

    to_standard_output = options.output == "-"
    name = "standard output" if to_standard_output else options.output
    try:
        if to_standard_output:
            midi = to_bytes(text, options.ticks)
            sys.stdout.buffer.write(midi)
            sys.stdout.buffer.flush()
        else:
            write_midi(text, options.ticks, options.output)
    except OSError as error:
        print(f"{parser.prog}: cannot write '{name}': {error.strerror}", file=sys.stderr)
        return 1
    # The summary stays out of the way of a MIDI file on standard output.
    to_standard_error = to_standard_output or _is_standard_output(options.output)
    print(_summary(name, text, options.ticks), file=sys.stderr if to_standard_error else sys.stdout)
    return 0


if __name__ == "__main__":
    sys.exit(main())
