import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

import { binding } from '../core.js';
import * as imported from 'quorbel';
import { MAX_NOTE_TICKS, writeMIDI, writeMIDIView } from 'quorbel';

const wasm = new WebAssembly.Module(readFileSync(new URL('../quorbel.wasm', import.meta.url)));

// An instance of its own, and the functions bound to it.
function freshInstance() {
  const { imports, bind } = binding();
  const instance = new WebAssembly.Instance(wasm, imports);
  return { memory: instance.exports.memory, quorbel: bind(instance) };
}

// The module as a browser has it: without Node's Buffer, the text goes in
// by the other road.
function bindWithoutBuffer() {
  const buffer = globalThis.Buffer;
  delete globalThis.Buffer;
  try {
    return freshInstance().quorbel;
  } finally {
    globalThis.Buffer = buffer;
  }
}

const entries = {
  import: imported,
  require: createRequire(import.meta.url)('quorbel'),
  'no Buffer': bindWithoutBuffer(),
};

// Text of every UTF-8 length, astral characters included; the same seed
// gives the same text, and a failure prints it.
function randomText(length, seed) {
  let state = seed >>> 0;
  const next = () => (state = (Math.imul(state, 1664525) + 1013904223) >>> 0);
  const ranges = [[0x01, 0x7f], [0x80, 0x7ff], [0x800, 0xd7ff], [0xe000, 0xffff], [0x10000, 0x10ffff]];
  let text = '';
  while (text.length < length) {
    const [low, high] = ranges[next() % ranges.length];
    text += String.fromCodePoint(low + (next() % (high - low + 1)));
  }
  return text;
}

function varLengthSize(ticks) {
  let size = 1;
  while (ticks >= 0x80) { ticks >>>= 7; size++; }
  return size;
}

// The documented example that every suite compares with: the file, and the
// text and note length that make it.
const fixtures = new URL('../../tests/fixtures/', import.meta.url);
const example = readFileSync(new URL('example.mid', fixtures));
const { text: exampleText, noteTicks: exampleTicks } =
  JSON.parse(readFileSync(new URL('example.json', fixtures), 'utf8'));
const hex = (bytes) => Buffer.from(bytes).toString('hex');

test('the documented example, by import, by require and without Buffer', () => {
  for (const [name, quorbel] of Object.entries(entries)) {
    const file = quorbel.writeMIDI(exampleText, exampleTicks);
    assert.equal(hex(file), hex(example), name);
    // Its buffer is the file alone: no other bytes go with file.buffer.
    assert.equal(file.buffer.byteLength, example.length, name);
    assert.equal(hex(quorbel.writeMIDIView(exampleText, exampleTicks)), hex(example), name);
  }
});

test('both roads, with Buffer and without, give the same file of many pieces', () => {
  const text = randomText(100_000, 11);
  const file = writeMIDI(text, 300);
  assert.ok(file.length > 2 * 512 * 1024, `${file.length} bytes`);
  assert.ok(Buffer.from(entries['no Buffer'].writeMIDIView(text, 300)).equals(file));
  assert.ok(Buffer.from(entries['no Buffer'].writeMIDI(text, 300)).equals(file));
});

test('the module\'s memory does not grow from call to call, nor hold writeMIDI\'s file', () => {
  const text = 'x'.repeat(1_000_000);
  const { memory, quorbel } = freshInstance();
  const file = quorbel.writeMIDI(text, 48);
  assert.ok(memory.buffer.byteLength < file.length, `${memory.buffer.byteLength} bytes of memory`);
  quorbel.writeMIDIView(text, 48);
  const before = memory.buffer.byteLength;
  assert.ok(before < 2 * file.length, `${before} bytes of memory for the view's file`);
  for (let i = 0; i < 30; i++) {
    quorbel.writeMIDI(text, 48);
    quorbel.writeMIDIView(text, 48);
  }
  assert.equal(memory.buffer.byteLength, before);
});

test('the size is 52 bytes and, for each byte of the UTF-8 form, a note on and its off', () => {
  const text = randomText(5000, 8);
  const bytes = Buffer.byteLength(text, 'utf8');
  for (const ticks of [0, 127, 128, 16383, 16384, MAX_NOTE_TICKS]) {
    const file = writeMIDI(text, ticks);
    assert.equal(file.length, 52 + bytes * (7 + varLengthSize(ticks)), `ticks ${ticks}`);
    assert.equal(new DataView(file.buffer).getUint32(18), file.length - 22, 'track length');
  }
});

test('what the library cannot take is refused, whichever way it is loaded', () => {
  for (const [name, quorbel] of Object.entries(entries)) {
    for (const write of [quorbel.writeMIDI, quorbel.writeMIDIView]) {
      for (const text of [undefined, null, 42, new String('AB'), ['AB']]) {
        assert.throws(() => write(text, 48), TypeError, `${name}: ${text}`);
      }
      for (const ticks of ['48', 48n, undefined, null, new Number(48)]) {
        assert.throws(() => write('AB', ticks), TypeError, `${name}: ${ticks}`);
      }
      for (const ticks of [-1, MAX_NOTE_TICKS + 1, 1.5, NaN, Infinity]) {
        assert.throws(() => write('AB', ticks), RangeError, `${name}: ${ticks}`);
      }
      assert.throws(() => write('A\0B', 48), RangeError, name);
    }
  }
});

test('a lone surrogate is written as U+FFFD, by both roads', () => {
  for (const lone of ['\ud800', '\udfff', 'a\ud83d', '\ude00b', 'é\ud800😀']) {
    const replaced = hex(writeMIDIView(lone.replace(/[\ud800-\udbff](?![\udc00-\udfff])|(?<![\ud800-\udbff])[\udc00-\udfff]/g, '\ufffd'), 24));
    assert.equal(hex(writeMIDI(lone, 24)), replaced, JSON.stringify(lone));
    assert.equal(hex(writeMIDIView(lone, 24)), replaced, JSON.stringify(lone));
  }
});

// The native tool, built by the default preset; QUORBEL_TOOL names another.
const tool = process.env.QUORBEL_TOOL ??
  fileURLToPath(new URL('../../build/cli/quorbel', import.meta.url));

test('the bytes are the native library\'s', { skip: !existsSync(tool) && `no native tool at ${tool}` }, () => {
  const directory = mkdtempSync(join(tmpdir(), 'quorbel-web-'));
  try {
    const seed = Date.now() >>> 0;
    const text = randomText(20000, seed);
    const path = join(directory, 'native.mid');
    execFileSync(tool, ['-t', '77', '-o', path], { input: text, stdio: ['pipe', 'ignore', 'inherit'] });
    assert.ok(Buffer.from(writeMIDI(text, 77)).equals(readFileSync(path)), `randomText(20000, ${seed})`);
  } finally {
    rmSync(directory, { recursive: true, force: true });
  }
});

test('a call cut short by the JavaScript stack running out leaves the module working', () => {
  const { quorbel } = freshInstance();
  const deep = () => {
    try { deep(); } catch {}
    try { quorbel.writeMIDI(exampleText, exampleTicks); } catch {}
  };
  for (let round = 0; round < 5; round++) deep();
  assert.equal(hex(quorbel.writeMIDI(exampleText, exampleTicks)), hex(example));
});

test('a text too long for any file is refused before it is copied in', () => {
  const { memory, quorbel } = freshInstance();
  const before = memory.buffer.byteLength;
  for (const write of [quorbel.writeMIDI, quorbel.writeMIDIView]) {
    assert.throws(() => write('x'.repeat(270_000_000), 0),
      (error) => error instanceof RangeError && error.code === 'EFBIG');
  }
  assert.equal(memory.buffer.byteLength, before);
});

test('a file the module cannot hold is refused, whatever came before, and the next call succeeds', () => {
  // 300 million notes of 8 bytes: 2.4 GB, past the module's limit of 2 GiB.
  for (let round = 0; round < 2; round++) {
    assert.throws(() => writeMIDI('€'.repeat(100_000_000), 0),
      (error) => error instanceof RangeError && error.code === 'EFBIG');
    assert.equal(hex(writeMIDI(exampleText, exampleTicks)), hex(example));
  }
});

test('a file the host was not given whole is refused, never returned unfilled', () => {
  const { imports, bind } = binding();
  const forward = imports.quorbel.fileBytes;
  let pieces = 0;
  imports.quorbel.fileBytes = (address, size) => (++pieces === 2 ? 0 : forward(address, size));
  const quorbel = bind(new WebAssembly.Instance(wasm, imports));
  assert.throws(() => quorbel.writeMIDI('a'.repeat(100_000), 1), { code: 'EIO' });
  assert.equal(quorbel.writeMIDI('a', 1).length, 60);
});
