#!/usr/bin/env bash
# Measures what independent readers make of the tool's files: the figures
# of "What readers make of the files" in docs/platforms.md. Manual, not CI: it needs
# timidity wildmidi midish fluidsynth timgm6mb-soundfont freepats
# python3-mido midicsv and npm, and takes about ten minutes at 10^6 notes.
#   bench/readers.sh [build-dir] [notes]     (default: build, 1000000)
set -euo pipefail
tool=$(realpath "${1:-build}")/cli/quorbel
notes=${2:-1000000}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
patches=/etc/timidity/freepats.cfg
soundfont=/usr/share/sounds/sf2/TimGM6mb.sf2

# write FILE TICKS N: N notes "A" (pitch 65) of TICKS ticks
write() { head -c "$3" /dev/zero | tr '\0' A | "$tool" -t "$2" -o "$1" >/dev/null; }
# TiMidity++ says it at once, while reading; the rendering is cut short.
timidity_reads() {
  [[ $(timeout 5 timidity -c $patches -s 8000 -Ow -o /dev/null "$1" 2>&1 || true) != *exceeded* ]]
}
midish_reads() { printf 'import "%s"\n' "$1" | midish -b >/dev/null 2>&1; }
# last_read READER TICKS LOW HIGH: the most notes READER reads, by bisection
last_read() {
  local low=$3 high=$4 middle
  while ((high - low > 1)); do
    middle=$(((low + high) / 2)); write b.mid "$2" $middle
    if "$1" b.mid; then low=$middle; else high=$middle; fi
  done
  echo $low
}

echo "== $notes notes of 1 tick: note on and off counted, and those not 65 at their tick"
write many.mid 1 "$notes"
/usr/bin/python3 -c 'import mido, sys
t = mido.MidiFile(sys.argv[1]).tracks[0]
on = [m for m in t if m.type == "note_on"]; off = [m for m in t if m.type == "note_off"]
print("mido", mido.__version__, len(on), len(off), sum(m.note != 65 or m.time != 0 for m in on) +
      sum(m.note != 65 or m.time != 1 for m in off))' many.mid
midicsv many.mid | awk -F', ' '$3 == "Note_on_c" {on++; bad += $5 != 65 || $2 != on - 1}
  $3 == "Note_off_c" {off++; bad += $5 != 65 || $2 != off} END {print "midicsv", on, off, bad + 0}'
npm install --silent --prefix npm midi-file midi-parser-js >/dev/null
NODE_PATH=npm/node_modules node -e '
const data = require("fs").readFileSync(process.argv[1]);
const count = (name, events, isOn, isOff, note) => {
  let on = 0, off = 0, bad = 0;
  for (const e of events) {
    if (isOn(e)) { on++; bad += note(e) !== 65 || e.deltaTime !== 0; }
    if (isOff(e)) { off++; bad += note(e) !== 65 || e.deltaTime !== 1; }
  }
  console.log(name, require(name + "/package.json").version, on, off, bad);
};
count("midi-file", require("midi-file").parseMidi(data).tracks[0],
      e => e.type === "noteOn", e => e.type === "noteOff", e => e.noteNumber);
count("midi-parser-js", require("midi-parser-js").parse(new Uint8Array(data)).track[0].event,
      e => e.type === 9, e => e.type === 8, e => e.data[0]);' many.mid
frames=$(($(fluidsynth -ni -q -r 8000 -T raw -F - $soundfont many.mid 2>/dev/null | wc -c) / 4))
echo "fluidsynth: $frames frames at 8000 Hz for $((notes * 8000 / 24)) of notes"

echo "== the most notes read"
echo "timidity, 1 tick: $(last_read timidity_reads 1 400000 600000)"
echo "timidity, 24 ticks: $(last_read timidity_reads 24 400000 600000)"
echo "midish, 1 tick: $(last_read midish_reads 1 10000 200000)"

echo "== a note length of 0: the peak of the rendered samples (of 32767)"
write zero.mid 0 12
timidity -c $patches -Ow -o timidity.wav zero.mid >/dev/null 2>&1
wildmidi -c $patches -o wildmidi.wav zero.mid >/dev/null 2>&1
for wav in timidity.wav wildmidi.wav; do
  /usr/bin/python3 -c 'import array, sys, wave
w = wave.open(sys.argv[1]); samples = array.array("h", w.readframes(w.getnframes()))
print(sys.argv[1], "peak", max(map(abs, samples), default=0))' $wav
done

echo "== 0x0FFFFFFF ticks, a note of 129 days"
write huge.mid 268435455 1
timidity -c $patches -Ow -o huge.wav huge.mid 2>&1 | grep -i overflow || true
echo "timidity rendered $(stat -c %s huge.wav) bytes"
(timeout 5 stdbuf -o0 wildmidi -c $patches -o /dev/null huge.mid 2>&1 || true) | grep -o 'Approx[^]]*'
echo "versions: $(timidity --version 2>/dev/null | head -1), $(wildmidi --version | grep -o 'WildMidi [0-9][0-9.]*'),"\
  "$(dpkg-query -W -f '${Package} ${Version} ' midish midicsv), $(fluidsynth --version | head -1)"
