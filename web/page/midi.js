// Reading a Standard MIDI File back: its notes, and the tempo and time
// signatures that place them in seconds and in bars. The roll and the player
// work from what a MIDI reader finds in the file, not from what the page
// asked the library for, so they show the file as it is. No DOM here: the
// worker and Node's tests use it too.

const bad = () => new Error('the file cannot be read back');

// A note on and its note off take at least six bytes with running status.
function noteArrays(room) {
  return { starts: new Float64Array(room), ends: new Float64Array(room), numbers: new Uint8Array(room) };
}

/**
 * The first track's notes (ticks, sorted by start as in the file), the tempo
 * and time signature changes, and the ticks per quarter note.
 */
export function readMIDI(file) {
  const view = new DataView(file.buffer, file.byteOffset, file.byteLength);
  if (file.length < 22 || view.getUint32(0) !== 0x4d546864) throw bad();
  const division = view.getUint16(12);
  // SMPTE time (the top bit set) has no bars or beats to draw.
  if (division === 0 || division & 0x8000) throw bad();
  let p = 8 + view.getUint32(4);
  if (p + 8 > file.length || view.getUint32(p) !== 0x4d54726b) throw bad();
  const end = Math.min(file.length, p + 8 + view.getUint32(p + 4));
  p += 8;

  const room = Math.floor((end - p) / 6) + 1;
  const { starts, ends, numbers } = noteArrays(room);
  const tempos = [];
  const meters = [];
  const sounding = new Int32Array(128).fill(-1);
  let count = 0;
  let time = 0;
  let status = 0;
  const varLen = () => {
    let value = 0;
    for (let i = 0; i < 4 && p < end; i++) {
      const b = file[p++];
      value = value * 128 + (b & 0x7f);
      if (b < 0x80) return value;
    }
    throw bad();
  };
  while (p < end) {
    time += varLen();
    if (file[p] >= 0x80) status = file[p++];
    if (status >= 0xf0) {
      const type = status === 0xff ? file[p++] : -1;
      const length = varLen(); // apart: `p += varLen()` would add to p as it was before
      if (type === 0x51 && length === 3) tempos.push({ tick: time, micros: (file[p] << 16) | (file[p + 1] << 8) | file[p + 2] });
      if (type === 0x58 && length >= 2) meters.push({ tick: time, beats: file[p], unit: 2 ** file[p + 1] });
      p += length;
      status = 0;
      continue;
    }
    if (status < 0x80) throw bad();
    const kind = status & 0xf0;
    const key = file[p++];
    const value = kind === 0xc0 || kind === 0xd0 ? 0 : file[p++];
    const isOn = kind === 0x90 && value > 0;
    const isOff = kind === 0x80 || (kind === 0x90 && value === 0);
    if ((isOn || isOff) && sounding[key] >= 0) {
      ends[sounding[key]] = time;
      sounding[key] = -1;
    }
    if (isOn && count < room) {
      starts[count] = ends[count] = time;
      numbers[count] = key;
      sounding[key] = count++;
    }
  }
  return { division, count, starts, ends, numbers, endTime: time, tempos, meters };
}

// What a file without them means: 120 beats per minute, 4/4.
const DEFAULT_MICROS = 500000;

/** Seconds from ticks and back, through the file's tempo changes. */
export function clock({ division, tempos }) {
  const segments = [{ tick: 0, seconds: 0, perTick: DEFAULT_MICROS / division / 1e6 }];
  for (const { tick, micros } of tempos) {
    const last = segments[segments.length - 1];
    const seconds = last.seconds + (tick - last.tick) * last.perTick;
    if (tick === last.tick) segments.pop();
    segments.push({ tick, seconds, perTick: micros / division / 1e6 });
  }
  const find = (key, value) => {
    let i = segments.length - 1;
    while (i > 0 && segments[i][key] > value) i--;
    return segments[i];
  };
  return {
    seconds: (tick) => {
      const s = find('tick', tick);
      return s.seconds + (tick - s.tick) * s.perTick;
    },
    tick: (seconds) => {
      const s = find('seconds', seconds);
      return s.tick + (seconds - s.seconds) / s.perTick;
    },
  };
}

// The time signatures as stretches of whole bars: a change starts bar 1 of
// its own stretch's count on from the bars before it.
function stretches({ division, meters }) {
  const list = [];
  let bar = 1;
  const all = meters.length && meters[0].tick === 0 ? meters : [{ tick: 0, beats: 4, unit: 4 }, ...meters];
  for (const { tick, beats, unit } of all) {
    const beat = (division * 4) / unit;
    const last = list[list.length - 1];
    if (last) {
      bar = last.bar + Math.ceil((tick - last.tick) / (last.beat * last.beats));
      if (tick === last.tick) list.pop();
    }
    list.push({ tick, bar, beats: Math.max(1, beats), beat });
  }
  return list;
}

/** Bar and beat (both from 1) and the ticks into that beat, at a tick. */
export function barBeat(midi, tick) {
  const list = stretches(midi);
  let s = list[0];
  for (const next of list) if (next.tick <= tick) s = next;
  const beats = Math.floor((tick - s.tick) / s.beat);
  return { bar: s.bar + Math.floor(beats / s.beats), beat: (beats % s.beats) + 1, ticks: tick - s.tick - beats * s.beat };
}

/**
 * Calls line(tick, bar, beat) for every beat from `from` to `to` ticks, or
 * only for the first beat of every `everyBars`-th bar when `beatsToo` is false.
 */
export function beatLines(midi, from, to, { beatsToo = true, everyBars = 1 }, line) {
  const list = stretches(midi);
  for (let i = 0; i < list.length; i++) {
    const s = list[i];
    const stop = Math.min(to, i + 1 < list.length ? list[i + 1].tick - 1e-9 : Infinity);
    const barTicks = s.beat * s.beats;
    let n = Math.max(0, Math.floor((from - s.tick) / barTicks));
    for (let tick = s.tick + n * barTicks; tick <= stop; n++, tick = s.tick + n * barTicks) {
      const bar = s.bar + n;
      if ((bar - 1) % everyBars !== 0) continue;
      for (let b = 0; b < (beatsToo ? s.beats : 1); b++) {
        const t = tick + b * s.beat;
        if (t >= from && t <= stop) line(t, bar, b + 1);
      }
    }
  }
}

export const NOTE_NAMES = ['C', 'C♯', 'D', 'D♯', 'E', 'F', 'F♯', 'G', 'G♯', 'A', 'A♯', 'B'];

/** The note's name with its octave, middle C (60) being C4. */
export const noteName = (n) => `${NOTE_NAMES[n % 12]}${Math.floor(n / 12) - 1}`;

/**
 * What the roll needs to draw a million notes in a frame: the latest end
 * among the notes up to each (so that those wholly before a view are found by
 * a binary search, whatever their lengths), and for each of `buckets` equal
 * stretches of the file, which keys sound in it (four words of 32 keys), for
 * views where a pixel spans a stretch or more.
 */
export function summarize(midi, total, buckets = 16384) {
  const maxEnds = new Float64Array(midi.count);
  for (let i = 0, m = -Infinity; i < midi.count; i++) maxEnds[i] = m = Math.max(m, midi.ends[i]);
  const size = Math.max(1, total / buckets);
  const keys = new Uint32Array(buckets * 4);
  for (let i = 0; i < midi.count; i++) {
    const key = midi.numbers[i];
    const first = Math.min(buckets - 1, Math.floor(midi.starts[i] / size));
    const last = Math.min(buckets - 1, Math.max(first, Math.ceil(midi.ends[i] / size) - 1));
    for (let b = first; b <= last; b++) keys[b * 4 + (key >> 5)] |= 1 << (key & 31);
  }
  return { maxEnds, size, keys };
}
