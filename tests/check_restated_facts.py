"""The project's facts that files read straight from the tree must restate,
held to their sources: the header's QUORBEL_MAX_NOTE_TICKS in the Python and
JavaScript packages, and project(VERSION) in the Python package, the npm
package (whose semver takes the first three parts) and debian/changelog.
Each is compared as its own reader would parse it.

    check_restated_facts.py SOURCE_DIR MAX_NOTE_TICKS VERSION
"""
import json
import pathlib
import re
import sys

source = pathlib.Path(sys.argv[1])
max_note_ticks = int(sys.argv[2])
version = sys.argv[3]
semver = ".".join(version.split(".")[:3])


def found(path, pattern):
    match = re.search(pattern, (source / path).read_text(encoding="utf-8"), re.MULTILINE)
    if not match:
        sys.exit(f"{path}: nothing matches {pattern!r}")
    return match.group(1)


lock = json.loads((source / "web/package-lock.json").read_text(encoding="utf-8"))
facts = [
    ("bindings/python/quorbel/__init__.py MAX_NOTE_TICKS",
     int(found("bindings/python/quorbel/__init__.py", r"^MAX_NOTE_TICKS: Final = (\w+)$"), 0),
     max_note_ticks),
    ("web/core.js MAX_NOTE_TICKS",
     int(found("web/core.js", r"^export const MAX_NOTE_TICKS = (\w+);$"), 0), max_note_ticks),
    ("web/index.d.ts MAX_NOTE_TICKS",
     int(found("web/index.d.ts", r"^export declare const MAX_NOTE_TICKS: (\d+);$")), max_note_ticks),
    ("bindings/python/pyproject.toml version",
     found("bindings/python/pyproject.toml", r'^version = "([^"]*)"$'), version),
    ("web/package.json version",
     json.loads((source / "web/package.json").read_text(encoding="utf-8"))["version"], semver),
    ("web/package-lock.json version", lock["version"], semver),
    ("web/package-lock.json's own package version", lock["packages"][""]["version"], semver),
    ("debian/changelog version", found("debian/changelog", r"\Aquorbel \(([^)]*)\)"), version),
]
wrong = [f"{name} is {value}, not {expected}" for name, value, expected in facts if value != expected]
print("\n".join(wrong) or f"{len(facts)} restated facts agree with the header and project(VERSION)")
sys.exit(1 if wrong else 0)
