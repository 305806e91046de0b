// The page around writeMIDI: the text and note length, a piano roll of the
// file that comes out, a player, a download link and a link to share. The
// file is made in a worker (page/maker.js), so typing never waits for it.
import { Player } from './page/audio.js';
import { barBeat, clock } from './page/midi.js';
import { Roll } from './page/roll.js';
import { LINK_LIMIT, fileName, linkTo, readTextFile } from './page/text.js';

const SECONDS_PER_TICK = 4 / 96; // the library's 15 beats per minute at 96 ticks per quarter

const $ = (id) => document.getElementById(id);
const textInput = $('text');
const ticksInput = $('ticks');
const message = $('message');
const playButton = $('play');
const stopButton = $('stop');
const download = $('download');
const copyButton = $('copy-link');
const linkInfo = $('link-info');
const position = $('position');
const canvas = $('roll');

const numberFormat = new Intl.NumberFormat('en', { maximumFractionDigits: 3 });
const fmt = (n) => numberFormat.format(n);
const plural = (n, one, many) => `${fmt(n)} ${n === 1 ? one : many}`;

const roll = new Roll(canvas, $('playhead'));
const player = new Player({ onFrame: showPlayhead, onEnd: finished });
let MAX_NOTE_TICKS;
let maker = null;
let busy = true; // the request with the maker, or true until it has loaded
let current = null; // { file, midi, text, ticks } of the last file made
let downloadURL = null;
// A text from a file or a link exactly, carriage returns included: a text
// area gives its text with every line break as LF, the tool keeps a CR as a
// note. It is the text until the text area no longer holds it.
let exact = null;

function say(text, isError = false) {
  message.textContent = text;
  message.classList.toggle('error', isError);
}

function setText(text) {
  textInput.value = text;
  exact = text.includes('\r') ? { text, shown: text.replace(/\r\n?/g, '\n') } : null;
}

function currentText() {
  const shown = textInput.value;
  return exact && exact.shown === shown ? exact.text : shown;
}

function readTicks() {
  const raw = ticksInput.value.trim();
  const value = raw === '' ? NaN : Number(raw);
  // + 0 turns -0, which the field takes, into 0.
  return Number.isInteger(value) && value >= 0 && value <= MAX_NOTE_TICKS ? value + 0 : null;
}

// --- Making the file ------------------------------------------------------

// Each change asks for a file; while one is being made, the next request
// waits and takes the text as it is by then, so a burst of typing costs at
// most two files, and a file that is out of date when it comes is not shown.
function request() {
  const text = currentText();
  longText = text.length > 20000;
  const ticks = readTicks();
  ticksInput.toggleAttribute('aria-invalid', ticks === null);
  $('ticks-info').textContent =
    (ticks === null ? '' : `${fmt(ticks * SECONDS_PER_TICK)} s per note; `) + '1 tick = 4 s / 96.';
  followAddress();
  if (busy || typing) return;
  if (ticks === null) showNothing(`The note length must be a whole number of ticks from 0 to ${fmt(MAX_NOTE_TICKS)}.`, true);
  else if (text === '') showNothing('Type some text: each byte of it becomes a note.', false);
  else if (current?.text !== text || current?.ticks !== ticks) {
    busy = { text, ticks };
    maker.postMessage({ id: performance.now(), text, ticks });
  }
}

// A keystroke in a long text is the text area's own work, tens of
// milliseconds already: the file waits for a pause in the typing, so that
// reading the text back and drawing the roll never add to a keystroke.
let typing = 0;
let longText = false;
function typed() {
  clearTimeout(typing);
  typing = setTimeout(() => {
    typing = 0;
    request();
  }, longText ? 200 : 0);
}

function received({ data }) {
  const sent = busy;
  busy = false;
  if (data.ready) request();
  else if (sent.text !== currentText() || sent.ticks !== readTicks()) request();
  else if (data.error) showNothing(`The file could not be made: ${data.error}`, true);
  else showFile(data, sent);
}

function showFile({ id, file, midi, bytes, took }, { text, ticks }) {
  stop(false);
  current = { file, midi, text, ticks };
  roll.setMIDI(midi);
  roll.draw();
  // For the page bench: the worker's time to make the file and read it back.
  performance.measure('generate', { start: id, duration: took });
  const lines = (text.match(/\n/g)?.length ?? 0) + 1;
  $('text-info').textContent = `${plural(bytes, 'byte', 'bytes')} in UTF-8, so ${plural(bytes, 'note', 'notes')}` +
    `${lines > 1 ? `; ${plural(lines, 'line', 'lines')}` : ''}${exact?.text === text ? ', CR LF line ends kept' : ''}.`;
  setDownload(file, fileName(text));
  playButton.disabled = false;
  say(`${plural(midi.count, 'note', 'notes')}, ${fmt(clock(midi).seconds(midi.endTime))} s in all.`);
  showPlayhead(roll.cursor);
  ready();
}

function showNothing(text, isError) {
  stop(false);
  current = null;
  say(text, isError);
  if (textInput.value === '') $('text-info').textContent = '';
  setDownload(null);
  playButton.disabled = true;
  roll.setMIDI(null);
  roll.draw();
  ready();
}

// The tests and the screenshot wait for the first file.
function ready() {
  document.documentElement.dataset.ready = '';
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

// --- The address and the link --------------------------------------------

let addressTimer = 0;

// The address holds the fields, so that reloading or bookmarking keeps
// them; not at every keystroke, which browsers throttle. A text too long
// for a link leaves only the note length there.
function followAddress() {
  clearTimeout(addressTimer);
  addressTimer = setTimeout(() => {
    const link = linkTo(location.href, currentText(), ticksInput.value);
    const address = link.length <= LINK_LIMIT ? link.href : linkTo(location.href, null, ticksInput.value).href;
    if (address !== location.href) history.replaceState(null, '', address);
  }, 250);
}

async function copyLink() {
  const link = linkTo(location.href, currentText(), ticksInput.value);
  linkInfo.classList.remove('error');
  if (link.length > LINK_LIMIT) {
    linkInfo.classList.add('error');
    linkInfo.textContent = `This text is too long for a link: links of up to ${fmt(LINK_LIMIT)} characters ` +
      `open everywhere, and this one would be ${Number.isFinite(link.length) ? fmt(link.length) : 'longer'}. ` +
      'Download the file, or save the text and open it here.';
    return;
  }
  try {
    await navigator.clipboard.writeText(link.href);
    linkInfo.textContent = `Link copied (${plural(link.length, 'character', 'characters')}).`;
  } catch {
    linkInfo.textContent = 'The browser did not let the page copy: the address bar holds the same link.';
  }
}

// --- Playing ------------------------------------------------------------------

function showPlayhead(tick) {
  roll.setCursor(tick);
  if (player.playing) roll.follow(tick);
  const midi = current?.midi;
  if (!midi) return;
  const { bar, beat } = barBeat(midi, tick);
  const seconds = Math.round(clock(midi).seconds(tick) * 10) / 10;
  const text = `Playhead: bar ${fmt(bar)}, beat ${beat} (${bar}:${beat}), ${fmt(seconds)} s`;
  if (position.textContent !== text) position.textContent = text;
}

function play() {
  if (!current) return;
  const from = roll.cursor >= current.midi.endTime ? 0 : roll.cursor;
  if (!player.play(current.midi, from)) {
    say('Notes of 0 ticks have no length: there is nothing to hear.');
    return;
  }
  // A disabled button loses the focus: it goes on to the one that now works.
  const hadFocus = document.activeElement === playButton;
  playButton.disabled = true;
  stopButton.disabled = false;
  if (hadFocus) stopButton.focus();
  say('Playing…');
}

function finished() {
  const hadFocus = document.activeElement === stopButton;
  stop(false);
  showPlayhead(0);
  if (current) say(`${plural(current.midi.count, 'note', 'notes')} played.`);
  if (hadFocus) playButton.focus();
}

function stop(tell = true) {
  const was = player.playing;
  player.stop();
  playButton.disabled = !current;
  stopButton.disabled = true;
  if (was && tell) {
    if (document.activeElement === stopButton) playButton.focus();
    say('Stopped.');
  }
}

// --- Keys, pointer, files ------------------------------------------------------

// Space belongs to the fields and buttons that have the focus; elsewhere it
// plays and stops. Escape stops anywhere.
function onKey(event) {
  if (event.key === 'Escape' && player.playing) {
    stop();
    return;
  }
  if (event.key !== ' ' || event.ctrlKey || event.altKey || event.metaKey) return;
  if (event.target.closest('textarea, input, select, button, a[href], [contenteditable]')) return;
  event.preventDefault();
  if (player.playing) stop();
  else play();
}

function rollKeys(event) {
  const step = event.shiftKey ? 1 : 0.125;
  const actions = {
    ArrowLeft: () => roll.scroll(-step), ArrowRight: () => roll.scroll(step),
    '+': () => roll.zoom(1 / 1.5), '=': () => roll.zoom(1 / 1.5), '-': () => roll.zoom(1.5),
    0: () => roll.setView(0, Infinity), Home: () => roll.scroll(-Infinity), End: () => roll.scroll(Infinity),
  };
  const action = actions[event.key];
  if (!action || event.ctrlKey || event.altKey || event.metaKey) return;
  event.preventDefault();
  action();
}

// A wheel turned or a pinch on the roll zooms about the pointer; sideways,
// or with Shift, it scrolls.
function onWheel(event) {
  event.preventDefault();
  const unit = event.deltaMode === 1 ? 16 : event.deltaMode === 2 ? 400 : 1;
  const across = event.shiftKey ? event.deltaX || event.deltaY : event.deltaX;
  if (Math.abs(across) > Math.abs(event.shiftKey ? 0 : event.deltaY)) {
    roll.scroll((across * unit) / canvas.clientWidth);
  } else {
    roll.zoom(Math.exp(event.deltaY * unit * (event.ctrlKey ? 0.01 : 0.002)), roll.tickAt(event.clientX));
  }
}

function seek(event) {
  if (!current) return;
  const tick = roll.tickAt(event.clientX);
  const again = player.playing;
  player.stop();
  showPlayhead(tick);
  if (again) player.play(current.midi, tick);
}

async function openFile(file) {
  if (!file) return;
  try {
    setText(await readTextFile(file));
    linkInfo.textContent = '';
    request();
  } catch (error) {
    say(error.message, true);
  }
}

function acceptDrops() {
  const carriesFile = (event) => [...(event.dataTransfer?.types ?? [])].includes('Files');
  document.addEventListener('dragover', (event) => {
    if (!carriesFile(event)) return;
    event.preventDefault();
    textInput.classList.add('drop');
  });
  document.addEventListener('dragleave', () => textInput.classList.remove('drop'));
  document.addEventListener('drop', (event) => {
    textInput.classList.remove('drop');
    if (!carriesFile(event)) return;
    event.preventDefault();
    openFile(event.dataTransfer.files[0]);
  });
}

// --- Wiring -------------------------------------------------------------------

function wire() {
  copyButton.disabled = false;
  textInput.addEventListener('input', typed);
  ticksInput.addEventListener('input', request);
  playButton.addEventListener('click', play);
  stopButton.addEventListener('click', () => stop());
  copyButton.addEventListener('click', copyLink);
  download.addEventListener('click', (event) => {
    if (!download.href) event.preventDefault();
  });
  $('open-file').addEventListener('click', () => $('file').click());
  $('file').addEventListener('change', (event) => openFile(event.target.files[0]));
  acceptDrops();
  document.addEventListener('keydown', onKey);
  canvas.addEventListener('keydown', rollKeys);
  canvas.addEventListener('wheel', onWheel, { passive: false });
  canvas.addEventListener('click', seek);
  $('zoom-in').addEventListener('click', () => roll.zoom(1 / 1.5));
  $('zoom-out').addEventListener('click', () => roll.zoom(1.5));
  $('zoom-all').addEventListener('click', () => roll.setView(0, Infinity));
  new ResizeObserver(([entry]) => {
    roll.size = { width: entry.contentRect.width, height: entry.contentRect.height };
    roll.draw();
  }).observe(canvas);
  matchMedia('(prefers-color-scheme: dark)').addEventListener('change', () => {
    roll.colours = null;
    roll.draw();
  });
}

async function start() {
  const params = new URLSearchParams(location.search);
  if (params.has('text')) setText(params.get('text'));
  if (params.has('ticks')) ticksInput.value = params.get('ticks');
  try {
    ({ MAX_NOTE_TICKS } = await import('./index.js'));
    ticksInput.max = String(MAX_NOTE_TICKS);
    maker = new Worker(new URL('./page/maker.js', import.meta.url), { type: 'module' });
  } catch (error) {
    const hint = location.protocol === 'file:' ? ' Serve this folder over HTTP and open it there.' : '';
    say(`The library could not be loaded: ${error.message}.${hint}`, true);
    roll.draw();
    return;
  }
  maker.addEventListener('message', received);
  maker.addEventListener('error', () => say('The library could not be loaded in a worker.', true));
  wire();
}

start();
