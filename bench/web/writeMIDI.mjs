// writeMIDI in Node against the native library, on the same 10^6 characters
// of ASCII prose (a note each) with noteTicks 48:
//   - the module's own WriteMIDI, the text already in its memory, the file
//     left there: the work the native call does;
//   - writeMIDIView: that, with the text copied in;
//   - writeMIDI: the text copied in as UTF-8 and the file handed back a
//     piece at a time into a new array, once with the last array collected
//     before each call (outside the time), so that the allocator can reuse
//     its memory (warm), and once where every array is kept, so each one's
//     pages are new to the process (fresh pages, what a caller that keeps
//     its files pays). Left to itself, Node collects the arrays now and
//     then, and a call meets fresh pages or not by chance;
//   - the least writeMIDI can cost beyond the module's work: a new array of
//     the file's size filled by copying 512 KiB pieces from the module's
//     memory, nothing else (the last array collected first, as for warm);
//   - native code doing the module's own work: the same sources, files in
//     memory included, built for this machine (bench/quorbel_memory_file_bench);
//     the ratios are to this;
//   - the native library writing the same text to /dev/null
//     (bench/quorbel_bench, EncodeToDevNull), its cheapest road.
// Each figure is the median of 300 single calls, and the best call beside
// it: on a shared machine the best is the closer to the work itself. The
// native figures are repetitions of a few calls each.
//   node --expose-gc bench/web/writeMIDI.mjs [build-dir]   (after npm run build in web/;
//   the native build: build/ of the default preset unless named)
import { execFileSync } from 'node:child_process';
import { existsSync, readFileSync } from 'node:fs';
import { cpus } from 'node:os';
import { resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

import { binding } from '../../web/core.js';
import { writeMIDI, writeMIDIView } from '../../web/index.js';

const CHARS = 1_000_000;
const TICKS = 48;
const CALLS = 300;
const PROSE = 'Pack my box with five dozen liquor jugs, then sing it in 4/4 time. ';

const sorted = (values) => [...values].sort((a, b) => a - b);
const text = PROSE.repeat(Math.ceil(CHARS / PROSE.length)).slice(0, CHARS);

// Milliseconds a call: { median, best }. `between` runs every `period` calls,
// outside the time.
function milliseconds(call, between = () => {}, period = 20) {
  for (let i = 0; i < 10; i++) call();  // compiled, and the module's memory grown
  const times = [];
  for (let i = 0; i < CALLS; i++) {
    if (i % period === 0) between();
    const start = process.hrtime.bigint();
    call();
    times.push(Number(process.hrtime.bigint() - start) / 1e6);
  }
  between();
  const order = sorted(times);
  return { median: order[CALLS >> 1], best: order[0] };
}

// The module's WriteMIDI by itself, in an instance of its own.
function moduleMilliseconds() {
  const bytes = readFileSync(new URL('../../web/quorbel.wasm', import.meta.url));
  const library = new WebAssembly.Instance(new WebAssembly.Module(bytes), binding().imports).exports;
  library._initialize();
  const put = (string, encoding) => {
    const size = Buffer.byteLength(string, encoding) + (encoding === 'utf16le' ? 2 : 1);
    const address = library.QuorbelAllocate(size) >>> 0;
    Buffer.from(library.memory.buffer, address, size).fill(0).write(string, encoding);
    return address;
  };
  const notes = put(text, 'utf16le');
  const path = put('bench.mid', 'utf16le');
  const pathUTF8 = put('bench.mid', 'utf8');
  return milliseconds(() => {
    if (library.WriteMIDI(notes, TICKS, path) !== 999) throw new Error('WriteMIDI failed');
    library.QuorbelRemoveFile(pathUTF8);
  });
}

function nativeMilliseconds(build, program, benchmark) {
  const bench = resolve(build, 'bench', program);
  if (!existsSync(bench)) return undefined;
  const report = JSON.parse(execFileSync(bench, [
    `--benchmark_filter=${benchmark}/${CHARS}/`, '--benchmark_repetitions=100',
    '--benchmark_format=json', '--benchmark_min_time=0.005'],
  { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }));
  const runs = report.benchmarks.filter((b) => b.run_type === 'iteration');
  const scale = { ns: 1e-6, us: 1e-3, ms: 1 }[runs[0].time_unit];
  const order = sorted(runs.map((b) => b.real_time * scale));
  return { median: order[order.length >> 1], best: order[0] };
}

// A new array of a file's size filled from one piece of the module's
// memory, as writeMIDI fills its own.
function copyFloor() {
  const memory = new WebAssembly.Memory({ initial: 16 });
  const piece = new Uint8Array(memory.buffer, 0, 512 * 1024).fill(0x90);
  const size = 52 + 8 * CHARS;
  return () => {
    const file = new Uint8Array(Buffer.allocUnsafeSlow(size).buffer);
    for (let at = 0; at < size; at += piece.length) {
      file.set(piece.subarray(0, Math.min(piece.length, size - at)), at);
    }
    return file;
  };
}

const kept = [];
const rows = [
  ['the module\'s WriteMIDI', moduleMilliseconds()],
  ['writeMIDIView (text copied in)', milliseconds(() => writeMIDIView(text, TICKS))],
  ['writeMIDI, warm', milliseconds(() => writeMIDI(text, TICKS), () => globalThis.gc?.(), 1)],
  ['writeMIDI, fresh pages', milliseconds(() => kept.push(writeMIDI(text, TICKS)),
    () => { kept.length = 0; globalThis.gc?.(); })],
  ['the copy alone, warm', milliseconds(copyFloor(), () => globalThis.gc?.(), 1)],
];
const build = process.argv[2] ?? fileURLToPath(new URL('../../build', import.meta.url));
const native = nativeMilliseconds(build, 'quorbel_memory_file_bench', 'WriteToMemoryFile');
const devNull = nativeMilliseconds(build, 'quorbel_bench', 'EncodeToDevNull');

console.log(`writeMIDI, ${CHARS} ASCII chars, noteTicks ${TICKS}, ${CALLS} calls; ` +
  `Node ${process.version}, ${cpus().length} CPUs (${cpus()[0].model})`);
console.log('                                  median ms  best ms   × native (median, best)');
const format = (label, { median, best }, ratio) =>
  console.log(`  ${label.padEnd(32)}${median.toFixed(3).padStart(9)}${best.toFixed(3).padStart(9)}${ratio}`);
for (const [label, figures] of rows) {
  format(label, figures, native === undefined ? '' :
    `   ${(figures.median / native.median).toFixed(2)}, ${(figures.best / native.best).toFixed(2)}`);
}
if (native === undefined) {
  console.log('  native: no bench/quorbel_memory_file_bench in the build directory; build the default preset');
} else {
  format('native, the same work', native, '');
}
if (devNull !== undefined) {
  format('native, to /dev/null', devNull, native === undefined ? '' :
    `   ${(devNull.median / native.median).toFixed(2)}, ${(devNull.best / native.best).toFixed(2)}`);
}
