// The piano roll: time across in the file's own bars and beats, notes up,
// named on the keyboard axis. It draws only the stretch in view, so a million
// notes cost a pass over an array and a screenful of pixels, not a million
// drawing calls; zooming and scrolling redraw within a frame.
import { barBeat, beatLines, clock, noteName, summarize } from './midi.js';

const BLACK_KEYS = new Set([1, 3, 6, 8, 10]);
// The plot's margins in CSS pixels: note names, bar numbers, seconds.
const MARGIN = { left: 44, top: 18, right: 10, bottom: 22 };
const COLOURS = { white: '--roll-bg', black: '--roll-bg-black', note: '--roll-note', grid: '--roll-grid',
  beat: '--roll-beat', bar: '--roll-bar', label: '--roll-label', page: '--bg' };

const numberFormat = new Intl.NumberFormat('en', { maximumFractionDigits: 3 });
const fmt = (n) => numberFormat.format(n);

// The colours live in the style sheet; pixels need them as numbers. They are
// read once for each colour scheme: asking for them while the text has just
// changed waits for the whole page's style.
const swatch = document.createElement('canvas').getContext('2d', { willReadFrequently: true });
function cssColour(name) {
  const value = getComputedStyle(document.documentElement).getPropertyValue(name).trim() || '#000';
  swatch.clearRect(0, 0, 1, 1);
  swatch.fillStyle = value;
  swatch.fillRect(0, 0, 1, 1);
  const [r, g, b] = swatch.getImageData(0, 0, 1, 1).data;
  return { css: value, rgba: ((255 << 24) | (b << 16) | (g << 8) | r) >>> 0 }; // little-endian
}

function niceStep(span, fit) {
  const raw = span / Math.max(1, fit);
  const power = 10 ** Math.floor(Math.log10(raw));
  for (const m of [1, 2, 5, 10]) if (m * power >= raw) return m * power;
  return 10 * power;
}

// The first index in a sorted array whose value passes `test`.
function firstWhere(array, count, test) {
  let lo = 0;
  let hi = count;
  while (lo < hi) {
    const mid = (lo + hi) >>> 1;
    if (test(array[mid])) hi = mid;
    else lo = mid + 1;
  }
  return lo;
}

// The rows: the notes' range, at least an octave, with a note of room above
// and below (where the bar lines show clear of the notes).
function pitchRange(midi) {
  let lo = 127;
  let hi = 0;
  for (let i = 0; i < (midi ? midi.count : 0); i++) {
    const n = midi.numbers[i];
    if (n < lo) lo = n;
    if (n > hi) hi = n;
  }
  const lowest = lo;
  const highest = hi;
  if (lo > hi) [lo, hi] = [60, 72];
  const extra = Math.max(0, 13 - (hi - lo + 1));
  lo = Math.max(0, lo - 1 - Math.floor(extra / 2));
  hi = Math.min(127, Math.max(lo + 12, hi + 1 + Math.ceil(extra / 2)));
  if (hi - lo < 12) lo = Math.max(0, hi - 12);
  return { lo, hi, lowest, highest };
}

export class Roll {
  constructor(canvas, playhead) {
    this.canvas = canvas;
    this.playhead = playhead;
    this.midi = null;
    this.size = null;
    this.colours = null;
    this.view = { start: 0, span: 24 };
    this.cursor = 0;
    this.frame = 0;
    this.setMIDI(null);
  }

  /** A new file: the view follows it whole if it showed the last one whole. */
  setMIDI(midi) {
    const wasWhole = !this.midi || this.view.span >= this.total;
    this.midi = midi;
    this.clock = clock(midi ?? { division: 96, tempos: [] });
    // Notes of no length still stand at 0 s, on an axis of one second.
    this.total = midi && midi.endTime > 0 ? midi.endTime : this.clock.tick(1);
    this.range = pitchRange(midi);
    // The worker makes the summary along with the file; made here otherwise.
    this.summary = midi ? midi.summary ?? summarize(midi, this.total) : null;
    if (wasWhole) this.view = { start: 0, span: this.total };
    this.setView(this.view.start, this.view.span);
    this.cursor = Math.min(this.cursor, this.total);
  }

  setView(start, span) {
    const least = Math.min(this.total, (this.midi?.division ?? 96) / 8);
    span = Math.min(this.total, Math.max(least, span));
    start = Math.min(this.total - span, Math.max(0, start));
    this.view = { start, span };
    this.requestDraw();
  }

  /** Zooms by `factor` (above 1 shows more) around `anchor` ticks, which stays put. */
  zoom(factor, anchor = this.view.start + this.view.span / 2) {
    const { start, span } = this.view;
    this.setView(anchor - (anchor - start) * factor, span * factor);
  }

  scroll(fraction) {
    this.setView(this.view.start + fraction * this.view.span, this.view.span);
  }

  /** Keeps `tick` in view, turning a page when it leaves it. */
  follow(tick) {
    const { start, span } = this.view;
    if (tick < start || tick > start + span) this.setView(tick - span * 0.05, span);
  }

  /** The tick under a point `clientX`, within the file. */
  tickAt(clientX) {
    const { left, width } = this.plot();
    const x = clientX - this.canvas.getBoundingClientRect().left - left;
    return Math.min(this.total, Math.max(0, this.view.start + (x / width) * this.view.span));
  }

  setCursor(tick) {
    this.cursor = Math.min(this.total, Math.max(0, tick));
    this.placePlayhead();
  }

  plot() {
    const { width, height } = this.size ?? { width: this.canvas.clientWidth || 800, height: this.canvas.clientHeight || 300 };
    return { left: MARGIN.left, top: MARGIN.top, width: Math.max(1, width - MARGIN.left - MARGIN.right),
      height: Math.max(1, height - MARGIN.top - MARGIN.bottom), cssWidth: width, cssHeight: height };
  }

  placePlayhead() {
    const { left, top, width, height } = this.plot();
    const x = (this.cursor - this.view.start) / this.view.span;
    this.playhead.hidden = !this.midi || x < 0 || x > 1;
    Object.assign(this.playhead.style, { top: `${top}px`, height: `${height}px`,
      transform: `translateX(${left + x * width}px)` });
  }

  requestDraw() {
    this.frame ||= requestAnimationFrame(() => this.draw());
  }

  draw() {
    const begin = performance.now();
    cancelAnimationFrame(this.frame);
    this.frame = 0;
    const ratio = window.devicePixelRatio || 1;
    const plot = this.plot();
    const { canvas } = this;
    // Setting a canvas's size, even to the same, clears and reallocates it.
    const [w, h] = [Math.round(plot.cssWidth * ratio), Math.round(plot.cssHeight * ratio)];
    if (canvas.width !== w || canvas.height !== h) Object.assign(canvas, { width: w, height: h });
    const box = { left: Math.round(plot.left * ratio), top: Math.round(plot.top * ratio), ratio };
    box.width = Math.max(1, canvas.width - box.left - Math.round(MARGIN.right * ratio));
    box.height = Math.max(1, canvas.height - box.top - Math.round(MARGIN.bottom * ratio));
    box.scale = box.width / this.view.span;
    box.rowHeight = box.height / (this.range.hi - this.range.lo + 1);
    this.colours ??= Object.fromEntries(Object.entries(COLOURS).map(([key, name]) => [key, cssColour(name)]));
    const ctx = canvas.getContext('2d');
    ctx.fillStyle = this.colours.page.css;
    ctx.fillRect(0, 0, canvas.width, canvas.height);
    // One image for as long as the size holds: a new one a frame, while
    // zooming, would keep the collector busy.
    if (this.image?.width !== box.width || this.image?.height !== box.height) {
      this.image = ctx.createImageData(box.width, box.height);
      this.pixels = new Uint32Array(this.image.data.buffer);
    }
    const { image, pixels } = this;
    this.paintRows(pixels, box);
    const bars = this.paintGrid(pixels, box);
    this.paintNotes(pixels, box);
    ctx.putImageData(image, box.left, box.top);
    this.paintLabels(ctx, box, bars);
    this.placePlayhead();
    this.describe(plot);
    // For the page bench, and for anyone who looks in the browser's tools.
    performance.measure('draw', { start: begin, end: performance.now() });
  }

  paintRows(pixels, { width, rowHeight }) {
    const { lo, hi } = this.range;
    for (let row = 0; row <= hi - lo; row++) {
      const colour = BLACK_KEYS.has((hi - row) % 12) ? this.colours.black.rgba : this.colours.white.rgba;
      pixels.fill(colour, Math.round(row * rowHeight) * width, Math.round((row + 1) * rowHeight) * width);
    }
  }

  // Bar lines, and beat lines where beats are far enough apart to tell;
  // where bars crowd, every 2nd, 4th, 8th… bar. Under the notes, so that a
  // note on a bar line is not hidden by it. Returns the bars to number.
  paintGrid(pixels, { width, height, scale, ratio }) {
    if (!this.midi) return [];
    const { start, span } = this.view;
    const beat = this.midi.division; // a quarter note: near enough to choose the density
    const beatsToo = beat * scale >= 6 * ratio;
    let everyBars = 1;
    while (everyBars * 4 * beat * scale < 8 * ratio) everyBars *= 2;
    let labelEvery = everyBars;
    while (labelEvery * 4 * beat * scale < 36 * ratio) labelEvery *= 2;
    const bars = [];
    beatLines(this.midi, start, start + span, { beatsToo, everyBars }, (tick, bar, b) => {
      const x = Math.min(width - 1, Math.round((tick - start) * scale));
      const colour = b === 1 ? this.colours.bar.rgba : this.colours.beat.rgba;
      for (let y = 0; y < height; y++) pixels[y * width + x] = colour;
      if (b === 1 && (bar - 1) % labelEvery === 0) bars.push([x, bar]);
    });
    return bars;
  }

  // A note's bar on its key's row, from x0 to x1. Rows a few pixels tall
  // would leave the notes hard to see: a note is never thinner than three
  // pixels, whatever its row.
  paintNote(pixels, { width, height, rowHeight, ratio }, key, x0, x1) {
    const noteHeight = Math.max(3 * ratio, rowHeight - (rowHeight >= 6 ? 1 : 0));
    const middle = (this.range.hi - key + 0.5) * rowHeight;
    const y0 = Math.max(0, Math.round(middle - noteHeight / 2));
    const y1 = Math.min(height, Math.round(middle + noteHeight / 2));
    for (let y = y0; y < y1; y++) pixels.fill(this.colours.note.rgba, y * width + x0, y * width + x1);
  }

  // Each key's run of touching bars is painted as one when it ends: one
  // stroke for a key heard all along, not one a note or a column.
  runs(pixels, box) {
    const from = new Int32Array(128);
    const to = new Int32Array(128).fill(-1);
    return {
      add: (key, x0, x1) => {
        if (to[key] >= x0) {
          to[key] = Math.max(to[key], x1);
          return;
        }
        if (to[key] > from[key]) this.paintNote(pixels, box, key, from[key], to[key]);
        from[key] = x0;
        to[key] = x1;
      },
      end: () => {
        for (let key = 0; key < 128; key++) if (to[key] > from[key]) this.paintNote(pixels, box, key, from[key], to[key]);
      },
    };
  }

  paintNotes(pixels, box) {
    const { midi } = this;
    if (!midi) return;
    const { width, scale, ratio } = box;
    const { start, span } = this.view;
    const first = firstWhere(this.summary.maxEnds, midi.count, (end) => end >= start);
    const last = firstWhere(midi.starts, midi.count, (s) => s > start + span);
    if (last - first > 20000 && this.summary.size * scale <= 1) {
      this.paintSummary(pixels, box);
      return;
    }
    const least = Math.round(3 * ratio);
    const runs = this.runs(pixels, box);
    for (let i = first; i < last; i++) {
      const x0 = Math.floor((midi.starts[i] - start) * scale);
      let x1 = Math.floor((midi.ends[i] - start) * scale);
      // Notes back to back on one key stay apart while there is room to show it.
      if (x1 - x0 >= 4) x1 -= 1;
      runs.add(midi.numbers[i], Math.max(0, x0), Math.min(width, Math.max(x0 + least, x1)));
    }
    runs.end();
  }

  // Where a pixel spans a stretch of the summary or more, the stretches are
  // drawn rather than the notes: those of a pixel column merged, then each
  // key in them painted once, however many the notes.
  paintSummary(pixels, box) {
    const { width, scale, ratio } = box;
    const { size, keys } = this.summary;
    const { start, span } = this.view;
    const least = Math.round(3 * ratio);
    const runs = this.runs(pixels, box);
    const column = new Uint32Array(4);
    const paint = (x0, x1) => {
      for (let word = 0; word < 4; word++) {
        for (let bits = column[word]; bits !== 0; bits &= bits - 1) {
          runs.add(word * 32 + 31 - Math.clz32(bits & -bits), Math.max(0, x0), Math.min(width, Math.max(x0 + least, x1)));
        }
      }
      column.fill(0);
    };
    const last = Math.min(keys.length / 4 - 1, Math.floor((start + span) / size));
    let x = null;
    for (let b = Math.max(0, Math.floor(start / size)); b <= last; b++) {
      const bx = Math.floor((b * size - start) * scale);
      if (bx !== x && x !== null) paint(x, bx);
      x = bx;
      for (let word = 0; word < 4; word++) column[word] |= keys[b * 4 + word];
    }
    if (x !== null) paint(x, Math.floor(((last + 1) * size - start) * scale));
    runs.end();
  }

  paintLabels(ctx, box, bars) {
    const { left, top, width, height, rowHeight, ratio } = box;
    const font = 11 * ratio;
    ctx.font = `${font}px system-ui, sans-serif`;
    ctx.fillStyle = this.colours.label.css;
    ctx.strokeStyle = this.colours.grid.css;
    ctx.lineWidth = Math.max(1, Math.round(ratio));
    // Note names: every note where the rows are tall enough, else each C.
    ctx.textAlign = 'right';
    ctx.textBaseline = 'middle';
    const { lo, hi } = this.range;
    const every = rowHeight >= font * 1.1 ? 1 : rowHeight * 12 >= font * 1.1 ? 12 : 24;
    for (let n = lo; n <= hi; n++) {
      if (n % every === 0) ctx.fillText(noteName(n), left - 5 * ratio, top + (hi - n + 0.5) * rowHeight);
    }
    // Bar numbers above, seconds below.
    ctx.textAlign = 'left';
    ctx.textBaseline = 'bottom';
    for (const [x, bar] of bars) {
      const at = left + x + 2 * ratio;
      if (at + ctx.measureText(String(bar)).width <= ctx.canvas.width) ctx.fillText(String(bar), at, top - 2 * ratio);
    }
    ctx.textAlign = 'center';
    ctx.textBaseline = 'top';
    ctx.beginPath();
    for (const [x, label] of this.secondMarks(box)) {
      ctx.moveTo(left + x + 0.5, top + height);
      ctx.lineTo(left + x + 0.5, top + height + 3 * ratio);
      ctx.fillText(label, Math.min(left + x, ctx.canvas.width - 10 * ratio), top + height + 5 * ratio);
    }
    ctx.stroke();
    ctx.strokeRect(left - 0.5, top - 0.5, width + 1, height + 1);
  }

  secondMarks({ width, scale, ratio }) {
    const { start, span } = this.view;
    const from = this.clock.seconds(start);
    const to = this.clock.seconds(start + span);
    const step = niceStep(to - from, width / (70 * ratio));
    const marks = [];
    for (let k = Math.ceil(from / step - 1e-9); k * step <= to + step / 1e6; k++) {
      const x = Math.min(width - 1, Math.round((this.clock.tick(k * step) - start) * scale));
      marks.push([x, k === 0 ? '0 s' : fmt(k * step)]);
    }
    return marks;
  }

  // For people who cannot see the canvas, and for the page's tests.
  describe({ left, top, width, height }) {
    const { canvas, midi, view } = this;
    const count = midi ? midi.count : 0;
    canvas.dataset.notes = String(count);
    canvas.dataset.view = `${view.start} ${view.span}`;
    canvas.dataset.plot = `${left} ${top} ${width} ${height}`;
    if (count === 0) {
      canvas.setAttribute('aria-label', 'Piano roll: no notes');
      return;
    }
    const { lowest, highest } = this.range;
    const from = barBeat(midi, view.start).bar;
    const to = barBeat(midi, view.start + view.span).bar;
    canvas.setAttribute('aria-label', `Piano roll: ${fmt(count)} ${count === 1 ? 'note' : 'notes'} from ` +
      `${noteName(lowest)} to ${noteName(highest)}, ${fmt(this.clock.seconds(midi.endTime))} seconds; ` +
      `showing bars ${fmt(from)} to ${fmt(to)}`);
  }
}
