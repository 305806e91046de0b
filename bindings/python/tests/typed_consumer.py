"""A program using the package as a typed project would; CI checks it with
mypy --strict against the installed package, and does not run it.

Each "type: ignore" marks a call the hints must refuse: under --strict an
ignore that is not needed is itself an error.
"""
import io
import pathlib

import quorbel


def write_all(folder: pathlib.Path) -> bytes:
    quorbel.write_midi("hello", 48, str(folder / "a.mid"))
    quorbel.write_midi("hello", 48, b"b.mid")
    quorbel.write_midi("hello", quorbel.MAX_NOTE_TICKS, folder / "c.mid")
    buffer = io.BytesIO()
    quorbel.write_midi("hello", 48, buffer)
    with open(folder / "d.mid", "wb") as file:
        quorbel.write_midi("hello", 48, file)
    quorbel.load(folder / "libquorbel.so.1")
    version: str = quorbel.__version__
    data: bytes = quorbel.to_bytes("hello", 48)
    return data + buffer.getvalue() + version.encode()


def refused(folder: pathlib.Path) -> None:
    quorbel.write_midi(b"hello", 48, folder)  # type: ignore[arg-type]
    quorbel.write_midi("hello", "48", folder)  # type: ignore[arg-type]
    quorbel.write_midi("hello", 48, 3)  # type: ignore[arg-type]
    with open(folder / "e.mid", "w") as text_file:
        quorbel.write_midi("hello", 48, text_file)  # type: ignore[arg-type]
    text: str = quorbel.to_bytes("hello", 48)  # type: ignore[assignment]
    print(text)
