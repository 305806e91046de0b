// Quorbel for JavaScript: the native library compiled to WebAssembly, so a
// file made here is byte for byte the one QUORBEL.dll or libquorbel.so
// makes of the same text. The module is loaded once, as this one is.

const MAX_NOTE_TICKS = 0x0fffffff;
const SUCCESS = 999;
// The library keeps the files it writes in memory here, under their paths.
const OUTPUT_PATH = 'quorbel.mid';

// WASI's numbers for the failures a write in memory can have.
const ERROR_NAMES = { 22: 'EFBIG', 28: 'EINVAL', 48: 'ENOMEM' };

async function moduleBytes(url) {
  if (url.protocol === 'file:') {
    // Node reads files; fetch does not take file: URLs there. The name is a
    // variable so that bundlers for the browser leave Node's module alone.
    const files = 'node:fs/promises';
    const { readFile } = await import(/* webpackIgnore: true */ files);
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`quorbel: cannot load ${url}: HTTP ${response.status}`);
  return response.arrayBuffer();
}

const { instance } = await WebAssembly.instantiate(
  await moduleBytes(new URL('./quorbel.wasm', import.meta.url)), {});
const library = instance.exports;
library._initialize();

// WebAssembly is little-endian; so is every common JavaScript host, but a
// big-endian one must not see its text swapped.
const littleEndian = new Uint8Array(new Uint16Array([1]).buffer)[0] === 1;
// Node copies a string's UTF-16 units in native code, ten times as fast as
// a loop of charCodeAt.
const NodeBuffer = globalThis.Buffer;

function allocate(size) {
  const address = library.QuorbelAllocate(size) >>> 0;
  if (address === 0) throw outOfMemory();
  return address;
}

function tooLarge(code) {
  return Object.assign(new RangeError(`quorbel: the file is too large to make here (${code})`), { code });
}

function outOfMemory() {
  return tooLarge('ENOMEM');
}

function describe(value) {
  return typeof value === 'number' ? String(value) : `a value of type ${typeof value}`;
}

// Copies `text` and its terminating zero into the module, as UTF-16.
function putText(text) {
  const address = allocate((text.length + 1) * 2);
  if (NodeBuffer !== undefined) {
    const units = NodeBuffer.from(library.memory.buffer, address, (text.length + 1) * 2);
    units.write(text, 0, 'utf16le');
    units.writeUInt16LE(0, text.length * 2);
  } else if (littleEndian) {
    const units = new Uint16Array(library.memory.buffer, address, text.length + 1);
    for (let i = 0; i < text.length; i++) units[i] = text.charCodeAt(i);
    units[text.length] = 0;
  } else {
    const view = new DataView(library.memory.buffer, address, (text.length + 1) * 2);
    for (let i = 0; i < text.length; i++) view.setUint16(i * 2, text.charCodeAt(i), true);
    view.setUint16(text.length * 2, 0, true);
  }
  return address;
}

const outputPathUTF16 = putText(OUTPUT_PATH);
const outputPathUTF8 = allocate(OUTPUT_PATH.length + 1);
new Uint8Array(library.memory.buffer, outputPathUTF8, OUTPUT_PATH.length + 1)
  .set(new TextEncoder().encode(OUTPUT_PATH + '\0'));

/**
 * Turns a line of text into a Standard MIDI File: every byte of the text's
 * UTF-8 form (a lone surrogate becomes U+FFFD) becomes one note of
 * `noteTicks` ticks on channel 1, its number the byte's low seven bits.
 * Returns the file's bytes.
 */
export function writeMIDI(text, noteTicks) {
  if (typeof text !== 'string') {
    throw new TypeError(`quorbel: text must be a string, not ${text === null ? 'null' : typeof text}`);
  }
  if (!Number.isInteger(noteTicks) || noteTicks < 0 || noteTicks > MAX_NOTE_TICKS) {
    throw new RangeError(`quorbel: noteTicks must be an integer from 0 to ${MAX_NOTE_TICKS}, not ${describe(noteTicks)}`);
  }
  // The library reads the text up to its first zero: the rest would be lost.
  if (text.includes('\0')) {
    throw new RangeError('quorbel: text must not contain U+0000, which would end it early');
  }
  const textAddress = putText(text);
  try {
    if (library.WriteMIDI(textAddress, noteTicks, outputPathUTF16) !== SUCCESS) {
      const errno = library.QuorbelError();
      const code = ERROR_NAMES[errno] ?? `errno ${errno}`;
      if (code === 'ENOMEM' || code === 'EFBIG') throw tooLarge(code);
      throw Object.assign(new Error(`quorbel: WriteMIDI failed (${code})`), { code });
    }
    const address = library.QuorbelFileBytes(outputPathUTF8) >>> 0;
    const size = library.QuorbelFileSize(outputPathUTF8) >>> 0;
    // A copy: the module's memory is reused by the next call. (A new array
    // and a set are faster than slice in V8.)
    let file;
    try {
      file = new Uint8Array(size);
    } catch {
      throw outOfMemory();
    }
    file.set(new Uint8Array(library.memory.buffer, address, size));
    return file;
  } finally {
    library.QuorbelRemoveFile(outputPathUTF8);
    library.QuorbelFree(textAddress);
  }
}

export { MAX_NOTE_TICKS };
