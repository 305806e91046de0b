// What Quorbel for JavaScript does once the WebAssembly module is loaded,
// the same whichever way it was loaded: index.js (import, in browsers and
// Node) and index.cjs (require, in Node) each load quorbel.wasm their own
// way, with the imports binding() gives them, and bind it here. build.mjs
// makes core.cjs of this file for require, so it imports nothing and its
// exports are `export function` and `export const` declarations only.

export const MAX_NOTE_TICKS = 0x0fffffff;

const SUCCESS = 999;
// The library keeps the files it writes in memory here, under their paths.
const OUTPUT_PATH = 'quorbel.mid';

// WASI's numbers for the failures a write in memory can have.
const ERROR_NAMES = { 22: 'EFBIG', 28: 'EINVAL', 29: 'EIO', 48: 'ENOMEM' };

// WebAssembly is little-endian; so is every common JavaScript host, but a
// big-endian one must not see its text swapped.
const littleEndian = new Uint8Array(new Uint16Array([1]).buffer)[0] === 1;

function tooLarge(code) {
  return Object.assign(new RangeError(`quorbel: the file is too large to make here (${code})`), { code });
}

// The largest file the module makes (2 GiB less 1 MiB, as the library
// sets it there). Every unit of text is at least one note of at least 8
// bytes, so a longer text is refused before it is copied in.
const LARGEST_FILE = 2 ** 31 - 2 ** 20;
const LONGEST_TEXT = Math.floor((LARGEST_FILE - 52) / 8);

function describe(value) {
  return typeof value === 'number' ? String(value) : `a value of type ${typeof value}`;
}

// Throws what the library would not take, before anything reaches it. A
// String object is refused like any other object: only a primitive string
// is text, whichever way it is copied into the module.
function check(text, noteTicks) {
  if (typeof text !== 'string') {
    throw new TypeError(`quorbel: text must be a string, not ${text === null ? 'null' : typeof text}`);
  }
  if (typeof noteTicks !== 'number') {
    throw new TypeError(`quorbel: noteTicks must be a number, not ${describe(noteTicks)}`);
  }
  if (!Number.isInteger(noteTicks) || noteTicks < 0 || noteTicks > MAX_NOTE_TICKS) {
    throw new RangeError(`quorbel: noteTicks must be an integer from 0 to ${MAX_NOTE_TICKS}, not ${describe(noteTicks)}`);
  }
  if (text.length > LONGEST_TEXT) throw tooLarge('EFBIG');
  // The library reads the text up to its first zero: the rest would be lost.
  if (text.includes('\0')) {
    throw new RangeError('quorbel: text must not contain U+0000, which would end it early');
  }
}

/**
 * What quorbel.wasm imports, and the function that binds an instance made
 * with those imports: `bind(instance)` returns writeMIDI and writeMIDIView
 * over it. Each instance has its own memory and its own last file.
 */
export function binding() {
  // writeMIDI's file arrives through these two while the module writes it:
  // the array made ready, then the bytes in order. Each returns 0 once
  // done; outside a call of writeMIDI they refuse.
  let receiver = null;
  const imports = {
    quorbel: {
      fileBegins: (size) => (receiver === null ? 1 : receiver.begins(size >>> 0)),
      fileBytes: (address, size) => (receiver === null ? 1 : receiver.bytes(address >>> 0, size >>> 0)),
    },
  };
  return { imports, bind: (instance) => bindInstance(instance, (next) => { receiver = next; }) };
}

function bindInstance(instance, receiveWith) {
  const library = instance.exports;
  library._initialize();
  // Node copies a string's UTF-16 units in native code, ten times as fast
  // as a loop of charCodeAt. Looked up here, not at the top, so that one
  // process can bind the module both ways.
  const NodeBuffer = globalThis.Buffer;

  // The module's memory may grow, and its buffer with it: looked up anew.
  const bytesAt = (address, size) => new Uint8Array(library.memory.buffer, address, size);

  function allocate(size) {
    const address = library.QuorbelAllocate(size) >>> 0;
    if (address === 0) throw tooLarge('ENOMEM');
    return address;
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
  bytesAt(outputPathUTF8, OUTPUT_PATH.length + 1).set(new TextEncoder().encode(OUTPUT_PATH + '\0'));

  // Copies `text` into the module as UTF-8, a lone surrogate as U+FFFD:
  // the bytes the module converts text to. Returns where, and how many.
  // A byte a unit holds ASCII, the common case; where the text is not all
  // ASCII, what did not fit is given three bytes a unit, the most any
  // takes, after the bytes already made. (Measuring the text first would
  // cost more than the copy: Node's byteLength takes three times as long
  // as encodeInto.)
  const encoder = new TextEncoder();
  function putUTF8(text) {
    const first = allocate(text.length || 1);
    const { read, written } = encoder.encodeInto(text, bytesAt(first, text.length));
    if (read === text.length) return { address: first, size: written };
    const room = (text.length - read) * 3;
    const address = library.QuorbelAllocate(written + room) >>> 0;
    if (address !== 0) bytesAt(address, written).set(bytesAt(first, written));
    library.QuorbelFree(first);
    if (address === 0) throw tooLarge('ENOMEM');
    const rest = encoder.encodeInto(text.slice(read), bytesAt(address + written, room));
    return { address, size: written + rest.written };
  }

  // The error for a call that returned 0, from the module's errno.
  function failure() {
    const errno = library.QuorbelError();
    const code = ERROR_NAMES[errno] ?? `errno ${errno}`;
    if (code === 'ENOMEM' || code === 'EFBIG') return tooLarge(code);
    return Object.assign(new Error(`quorbel: WriteMIDI failed (${code})`), { code });
  }

  // An array of its own for a file of `size` bytes, which the caller fills
  // whole. Node's allocUnsafeSlow skips zeroing memory that is about to be
  // overwritten (a third of the copy's time for 8 MB), and gives an
  // ArrayBuffer of exactly that size, not a slice of a shared pool; the
  // caller gets a plain Uint8Array over it, as elsewhere.
  function newFile(size) {
    return new Uint8Array(NodeBuffer !== undefined ? NodeBuffer.allocUnsafeSlow(size).buffer : size);
  }

  // The text goes in as UTF-8, whose bytes are the notes, and the file
  // comes back a piece at a time, each copied while the processor still
  // holds it, into an array made for the whole file before the first.
  function writeMIDI(text, noteTicks) {
    check(text, noteTicks);
    library.QuorbelRemoveFile(outputPathUTF8);  // the last view's, no longer needed
    const { address, size } = putUTF8(text);
    let file = null;
    let filled = 0;
    receiveWith({
      begins(fileSize) {
        try {
          file = newFile(fileSize);
          return 0;
        } catch {
          return 1;
        }
      },
      bytes(piece, pieceSize) {
        if (file === null || pieceSize > file.length - filled) return 1;
        file.set(bytesAt(piece, pieceSize), filled);
        filled += pieceSize;
        return 0;
      },
    });
    const stackPointer = library.__stack_pointer.value;
    try {
      if (library.QuorbelWriteUTF8ToHost(address, size, noteTicks) !== SUCCESS) throw failure();
    } catch (error) {
      // Thrown here while the module waited (the JavaScript stack run out,
      // say), an exception skipped the module's own return, which would
      // have put its stack pointer back.
      library.__stack_pointer.value = stackPointer;
      throw error;
    } finally {
      receiveWith(null);
      library.QuorbelFree(address);
    }
    // The array was not zeroed: one the module did not fill to the end would
    // hand the caller whatever that memory held before.
    if (file === null || filled !== file.length) {
      throw Object.assign(new Error('quorbel: WriteMIDI reported success without the whole file (EIO)'),
        { code: 'EIO' });
    }
    return file;
  }

  // The module's own WriteMIDI, the file left where it wrote it. The last
  // file goes first, so that memory holds one file at a time.
  function writeMIDIView(text, noteTicks) {
    check(text, noteTicks);
    library.QuorbelRemoveFile(outputPathUTF8);
    const address = putText(text);
    try {
      if (library.WriteMIDI(address, noteTicks, outputPathUTF16) !== SUCCESS) throw failure();
    } finally {
      library.QuorbelFree(address);
    }
    return bytesAt(library.QuorbelFileBytes(outputPathUTF8) >>> 0,
      library.QuorbelFileSize(outputPathUTF8) >>> 0);
  }

  return { writeMIDI, writeMIDIView };
}
