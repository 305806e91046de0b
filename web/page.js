// The page around writeMIDI: two fields, a piano roll of the file that
// comes out, a player and a download link.

const SECONDS_PER_TICK = 4 / 96; // 15 beats per minute, 96 ticks per quarter

const $ = (id) => document.getElementById(id);
const textInput = $('text');
const ticksInput = $('ticks');
const textInfo = $('text-info');
const ticksInfo = $('ticks-info');
const message = $('message');
const playButton = $('play');
const stopButton = $('stop');
const download = $('download');
const canvas = $('roll');
const playhead = $('playhead');

const numberFormat = new Intl.NumberFormat('en', { maximumFractionDigits: 3 });
const fmt = (n) => numberFormat.format(n);
const plural = (n, one, many) => `${fmt(n)} ${n === 1 ? one : many}`;

let writeMIDI;
let MAX_NOTE_TICKS;
let current = null; // { file, notes } of the last good generation
let downloadURL = null;
let player = null;

function say(text, isError = false) {
  message.textContent = text;
  message.classList.toggle('error', isError);
}

// --- Reading the file back -------------------------------------------------

// The roll is drawn from the file's own bytes rather than from the text, so it
// shows what a MIDI reader will find there. It reads any well-formed track,
// running status and system exclusive events included, so that it need not
// change with the library's way of writing.
function readNotes(file) {
  const view = new DataView(file.buffer, file.byteOffset, file.byteLength);
  const bad = () => new Error('the generated file cannot be read back');
  if (file.length < 22 || view.getUint32(0) !== 0x4d546864) throw bad();
  let p = 8 + view.getUint32(4);
  if (p + 8 > file.length || view.getUint32(p) !== 0x4d54726b) throw bad();
  const end = Math.min(file.length, p + 8 + view.getUint32(p + 4));
  p += 8;

  // A note on and its note off take at least six bytes with running status.
  const room = Math.floor((end - p) / 6) + 1;
  const starts = new Float64Array(room);
  const ends = new Float64Array(room);
  const numbers = new Uint8Array(room);
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
      if (status === 0xff) p += 1;
      const length = varLen(); // apart: `p += varLen()` would add to p as it was before
      p += length;
      status = 0;
      continue;
    }
    if (status < 0x80 || status > 0xef) throw bad();
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
  return { count, starts, ends, numbers, endTime: time };
}

// --- Drawing ------------------------------------------------------------------

const swatch = document.createElement('canvas').getContext('2d', { willReadFrequently: true });

// The colours live in the style sheet; pixels need them as numbers. They are
// read once for each colour scheme: asking for them while the text has just
// changed waits for the whole page's style.
let colors = null;
let size = null;
function cssColor(name) {
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

const BLACK_KEYS = new Set([1, 3, 6, 8, 10]);

// Tens of thousands of notes are too many for one path or one element each:
// they are set as pixels in one image, and only the axes go through the
// drawing calls.
function drawRoll(notes) {
  const ratio = window.devicePixelRatio || 1;
  // The size comes from the resize observer: asking the canvas for it right
  // after the text changed would lay the whole page out there and then.
  size ??= { width: canvas.clientWidth || 800, height: canvas.clientHeight || 300 };
  const cssWidth = size.width;
  const cssHeight = size.height;
  canvas.width = Math.round(cssWidth * ratio);
  canvas.height = Math.round(cssHeight * ratio);
  const ctx = canvas.getContext('2d');
  colors ??= {
    white: cssColor('--roll-bg'),
    black: cssColor('--roll-bg-black'),
    note: cssColor('--roll-note'),
    grid: cssColor('--roll-grid'),
    label: cssColor('--roll-label'),
    page: cssColor('--bg'),
  };
  ctx.fillStyle = colors.page.css;
  ctx.fillRect(0, 0, canvas.width, canvas.height);

  const count = notes ? notes.count : 0;
  let lo = 127;
  let hi = 0;
  for (let i = 0; i < count; i++) {
    const n = notes.numbers[i];
    if (n < lo) lo = n;
    if (n > hi) hi = n;
  }
  const [lowest, highest] = [lo, hi];
  if (count === 0) [lo, hi] = [60, 72];
  // At least an octave, with a note of room above and below.
  const extra = Math.max(0, 13 - (hi - lo + 1));
  lo = Math.max(0, lo - 1 - Math.floor(extra / 2));
  hi = Math.min(127, Math.max(lo + 12, hi + 1 + Math.ceil(extra / 2)));
  if (hi - lo < 12) lo = Math.max(0, hi - 12);
  const rows = hi - lo + 1;

  const font = 11 * ratio;
  const left = Math.round(34 * ratio);
  const bottom = Math.round(22 * ratio);
  const top = Math.round(6 * ratio);
  const right = Math.round(10 * ratio);
  const width = Math.max(1, canvas.width - left - right);
  const height = Math.max(1, canvas.height - top - bottom);
  const rowHeight = height / rows;
  // Notes of no length still stand at 0 s, on an axis of one second.
  const totalTicks = notes && notes.endTime > 0 ? notes.endTime : 1 / SECONDS_PER_TICK;
  const xScale = width / totalTicks;

  const image = ctx.createImageData(width, height);
  const pixels = new Uint32Array(image.data.buffer);
  for (let row = 0; row < rows; row++) {
    const colour = BLACK_KEYS.has((hi - row) % 12) ? colors.black.rgba : colors.white.rgba;
    const y0 = Math.round(row * rowHeight);
    const y1 = Math.round((row + 1) * rowHeight);
    pixels.fill(colour, y0 * width, y1 * width);
  }
  // The grid goes under the notes, so that a note at 0 s is not hidden by it.
  const totalSeconds = totalTicks * SECONDS_PER_TICK;
  const step = niceStep(totalSeconds, width / (70 * ratio));
  const marks = [];
  for (let s = 0; s <= totalSeconds + step / 1e6; s += step) {
    const x = Math.min(width - 1, Math.round((s / SECONDS_PER_TICK) * xScale));
    marks.push([x, s === 0 ? '0 s' : fmt(Math.round(s / step) * step)]);
    for (let y = 0; y < height; y++) pixels[y * width + x] = colors.grid.rgba;
  }
  // Rows a few pixels tall would leave the notes hard to see: a note is
  // never thinner than three pixels, whatever its row.
  const noteHeight = Math.max(3 * ratio, rowHeight - (rowHeight >= 6 ? 1 : 0));
  for (let i = 0; i < count; i++) {
    const middle = (hi - notes.numbers[i] + 0.5) * rowHeight;
    const y0 = Math.max(0, Math.round(middle - noteHeight / 2));
    const y1 = Math.min(height, Math.round(middle + noteHeight / 2));
    const x0 = Math.min(width - 1, Math.floor(notes.starts[i] * xScale));
    let x1 = Math.floor(notes.ends[i] * xScale);
    // Notes back to back on one key stay apart while there is room to show it.
    if (x1 - x0 >= 4) x1 -= 1;
    x1 = Math.min(width, Math.max(x0 + Math.round(3 * ratio), x1));
    for (let y = y0; y < y1; y++) pixels.fill(colors.note.rgba, y * width + x0, y * width + x1);
  }
  ctx.putImageData(image, left, top);

  ctx.font = `${font}px system-ui, sans-serif`;
  ctx.fillStyle = colors.label.css;
  ctx.strokeStyle = colors.grid.css;
  ctx.lineWidth = Math.max(1, Math.round(ratio));

  // Note numbers: every note where the rows are tall enough, else each C.
  ctx.textAlign = 'right';
  ctx.textBaseline = 'middle';
  const every = rowHeight >= font * 1.1 ? 1 : rowHeight * 12 >= font * 1.1 ? 12 : 24;
  for (let n = lo; n <= hi; n++) {
    if (n % every !== 0) continue;
    const y = top + (hi - n + 0.5) * rowHeight;
    ctx.fillText(String(n), left - 5 * ratio, y);
  }

  // Seconds across.
  ctx.textAlign = 'center';
  ctx.textBaseline = 'top';
  ctx.beginPath();
  for (const [x, label] of marks) {
    ctx.moveTo(left + x + 0.5, top + height);
    ctx.lineTo(left + x + 0.5, top + height + 3 * ratio);
    ctx.fillText(label, Math.min(left + x, canvas.width - right - 10 * ratio), top + height + 5 * ratio);
  }
  ctx.stroke();
  ctx.strokeRect(left - 0.5, top - 0.5, width + 1, height + 1);

  canvas.dataset.notes = String(count);
  canvas.setAttribute(
    'aria-label',
    count === 0
      ? 'Piano roll: no notes'
      : `Piano roll: ${plural(count, 'note', 'notes')} from ${lowest} to ${highest}, ` +
          `${fmt(notes.endTime * SECONDS_PER_TICK)} seconds`,
  );
  return { left: left / ratio, width: width / ratio, totalTicks };
}

// --- Generation -----------------------------------------------------------------

let layout = null;
let pending = 0;
const encoder = new TextEncoder();

function readTicks() {
  const raw = ticksInput.value.trim();
  const value = raw === '' ? NaN : Number(raw);
  // + 0 turns -0, which the field takes, into 0.
  return Number.isInteger(value) && value >= 0 && value <= MAX_NOTE_TICKS ? value + 0 : null;
}

function fileName(text) {
  const base = text
    .replace(/ß/g, 'ss')
    .normalize('NFKD')
    .replace(/[\u0300-\u036f]/g, '')
    .toLowerCase()
    .replace(/[^a-z0-9]+/g, '-')
    .slice(0, 40)
    .replace(/^-+|-+$/g, '');
  return `${base || 'quorbel'}.mid`;
}

function setDownload(file, name) {
  if (downloadURL) URL.revokeObjectURL(downloadURL);
  downloadURL = null;
  if (file) {
    downloadURL = URL.createObjectURL(new Blob([file], { type: 'audio/midi' }));
    download.href = downloadURL;
    download.download = name;
    download.removeAttribute('aria-disabled');
    download.textContent = `Download ${name} (${plural(file.length, 'byte', 'bytes')})`;
  } else {
    download.removeAttribute('href');
    download.setAttribute('aria-disabled', 'true');
    download.textContent = 'Download MIDI file';
  }
}

function showNothing(text, isError) {
  current = null;
  say(text, isError);
  setDownload(null);
  playButton.disabled = true;
  layout = drawRoll(null);
}

function update() {
  pending = 0;
  stop();
  const text = textInput.value;
  const ticks = readTicks();
  const bytes = encoder.encode(text).length;
  textInfo.textContent = `${plural(bytes, 'byte', 'bytes')} in UTF-8, so ${plural(bytes, 'note', 'notes')}.`;
  ticksInput.toggleAttribute('aria-invalid', ticks === null);
  if (ticks === null) {
    ticksInfo.textContent = '1 tick = 4 s / 96.';
    showNothing(`The note length must be a whole number of ticks from 0 to ${fmt(MAX_NOTE_TICKS)}.`, true);
    return;
  }
  ticksInfo.textContent = `${fmt(ticks * SECONDS_PER_TICK)} s per note; 1 tick = 4 s / 96.`;
  if (text === '') {
    showNothing('Type some text: each byte of it becomes a note.', false);
    return;
  }

  const begin = performance.now();
  let file;
  let notes;
  try {
    file = writeMIDI(text, ticks);
    notes = readNotes(file);
  } catch (error) {
    showNothing(`The file could not be made: ${error.message}`, true);
    return;
  }
  const made = performance.now();
  layout = drawRoll(notes);
  // For the page bench, and for anyone who looks in the browser's tools.
  performance.measure('generate', { start: begin, end: made });
  performance.measure('draw', { start: made, end: performance.now() });

  current = { file, notes };
  setDownload(file, fileName(text));
  playButton.disabled = false;
  const seconds = notes.endTime * SECONDS_PER_TICK;
  say(`${plural(notes.count, 'note', 'notes')}, ${fmt(seconds)} s in all.`);
}

// Typing into a long text asks for many updates between two frames; one does.
function scheduleUpdate() {
  if (!pending) pending = requestAnimationFrame(update);
}

// --- Playing ------------------------------------------------------------------

let audioContext = null;
const LOOKAHEAD = 0.5; // seconds of notes handed to the audio thread ahead of time

function play() {
  stop();
  if (!current) return;
  const { notes } = current;
  if (notes.endTime === 0) {
    say('Notes of 0 ticks have no length: there is nothing to hear.');
    return;
  }
  audioContext ??= new AudioContext();
  audioContext.resume();
  const ctx = audioContext;
  const out = ctx.createGain();
  out.gain.value = 0.2;
  out.connect(ctx.destination);
  const begin = ctx.currentTime + 0.05;
  const state = { out, begin, next: 0, live: new Set(), timer: 0, frame: 0 };
  player = state;

  // Notes are handed over a little at a time: a long text holds more notes
  // than is sensible to create at once.
  const feed = () => {
    const horizon = ctx.currentTime + LOOKAHEAD;
    while (state.next < notes.count) {
      const i = state.next;
      const start = begin + notes.starts[i] * SECONDS_PER_TICK;
      if (start > horizon) break;
      const end = begin + notes.ends[i] * SECONDS_PER_TICK;
      state.next++;
      if (end <= start || end < ctx.currentTime) continue;
      const ramp = Math.min(0.005, (end - start) / 4);
      const osc = ctx.createOscillator();
      const gain = ctx.createGain();
      osc.type = 'triangle';
      osc.frequency.value = 440 * 2 ** ((notes.numbers[i] - 69) / 12);
      gain.gain.setValueAtTime(0, start);
      gain.gain.linearRampToValueAtTime(1, start + ramp);
      gain.gain.setValueAtTime(1, end - ramp);
      gain.gain.linearRampToValueAtTime(0, end);
      osc.connect(gain).connect(out);
      osc.start(start);
      osc.stop(end);
      state.live.add(osc);
      osc.onended = () => state.live.delete(osc);
    }
    if (ctx.currentTime > begin + notes.endTime * SECONDS_PER_TICK) finish();
  };
  const frame = () => {
    const elapsed = Math.max(0, ctx.currentTime - begin) / SECONDS_PER_TICK;
    const x = layout.left + Math.min(1, elapsed / layout.totalTicks) * layout.width;
    playhead.style.transform = `translateX(${x}px)`;
    state.frame = requestAnimationFrame(frame);
  };
  state.timer = setInterval(feed, 100);
  feed();
  playhead.hidden = false;
  frame();
  // A disabled button loses the focus: it goes on to the one that now works.
  const hadFocus = document.activeElement === playButton;
  playButton.disabled = true;
  stopButton.disabled = false;
  if (hadFocus) stopButton.focus();
  say('Playing…');
}

function finish() {
  const hadFocus = document.activeElement === stopButton;
  stop();
  if (current) say(`${plural(current.notes.count, 'note', 'notes')} played.`);
  if (hadFocus) playButton.focus();
}

function stop() {
  if (!player) return;
  const { out, live, timer, frame } = player;
  player = null;
  clearInterval(timer);
  cancelAnimationFrame(frame);
  for (const osc of live) {
    osc.onended = null;
    osc.stop();
  }
  out.disconnect();
  playhead.hidden = true;
  playButton.disabled = !current;
  stopButton.disabled = true;
}

// --- Wiring -------------------------------------------------------------------

function fillFromAddress() {
  const params = new URLSearchParams(location.search);
  if (params.has('text')) textInput.value = params.get('text');
  if (params.has('ticks')) ticksInput.value = params.get('ticks');
}

async function start() {
  fillFromAddress();
  try {
    ({ writeMIDI, MAX_NOTE_TICKS } = await import('./index.js'));
    ticksInput.max = String(MAX_NOTE_TICKS);
  } catch (error) {
    const hint = location.protocol === 'file:' ? ' Serve this folder over HTTP and open it there.' : '';
    say(`The library could not be loaded: ${error.message}.${hint}`, true);
    drawRoll(null);
    return;
  }
  textInput.addEventListener('input', scheduleUpdate);
  ticksInput.addEventListener('input', scheduleUpdate);
  playButton.addEventListener('click', play);
  stopButton.addEventListener('click', () => {
    stop();
    say('Stopped.');
    playButton.focus();
  });
  download.addEventListener('click', (event) => {
    if (!download.href) event.preventDefault();
  });
  const redraw = () => {
    if (!pending) layout = drawRoll(current && current.notes);
  };
  new ResizeObserver(([entry]) => {
    size = { width: entry.contentRect.width, height: entry.contentRect.height };
    redraw();
  }).observe(canvas);
  matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => {
    colors = null;
    redraw();
  });
  update();
  document.documentElement.dataset.ready = '';
}

start();
