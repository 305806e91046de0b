// writeMIDI in Node against the native library, on the same 10^6 characters
// of ASCII prose (a note each) with noteTicks 48: the WebAssembly module
// writing to memory and copying the file out, the native library writing
// to /dev/null. Medians of 5 rounds.
//   node bench/web/writeMIDI.mjs [build-dir]    (default: build; after npm run build in web/)
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { cpus } from 'node:os';
import { resolve } from 'node:path';

import { writeMIDI } from '../../web/index.js';

const CHARS = 1_000_000;
const TICKS = 48;
const ROUNDS = 5;
const CALLS_PER_ROUND = 20;
const PROSE = 'Pack my box with five dozen liquor jugs, then sing it in 4/4 time. ';

const median = (values) => [...values].sort((a, b) => a - b)[values.length >> 1];
const text = PROSE.repeat(Math.ceil(CHARS / PROSE.length)).slice(0, CHARS);

function milliseconds(call) {
  for (let i = 0; i < 5; i++) call();  // compiled, and the module's memory grown
  const rounds = [];
  for (let round = 0; round < ROUNDS; round++) {
    const start = process.hrtime.bigint();
    for (let i = 0; i < CALLS_PER_ROUND; i++) call();
    rounds.push(Number(process.hrtime.bigint() - start) / 1e6 / CALLS_PER_ROUND);
  }
  return median(rounds);
}

function nativeMilliseconds(build) {
  const bench = resolve(build, 'bench/quorbel_bench');
  if (!existsSync(bench)) return undefined;
  const report = JSON.parse(execFileSync(bench, [
    `--benchmark_filter=EncodeToDevNull/${CHARS}/`, `--benchmark_repetitions=${ROUNDS}`,
    '--benchmark_report_aggregates_only=true', '--benchmark_format=json',
    '--benchmark_min_time=0.5'], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] }));
  const row = report.benchmarks.find((b) => b.aggregate_name === 'median');
  const scale = { ns: 1e-6, us: 1e-3, ms: 1 }[row.time_unit];
  return row.real_time * scale;
}

const file = writeMIDI(text, TICKS);
const web = milliseconds(() => writeMIDI(text, TICKS));
// What any call that returns a new file of this size pays, and writing to
// /dev/null does not: a fresh array, its pages touched as it is filled.
const freshArray = milliseconds(() => new Uint8Array(file.length).set(file));
const native = nativeMilliseconds(process.argv[2] ?? 'build');
console.log(`writeMIDI, ${CHARS} ASCII chars, noteTicks ${TICKS}, median of ${ROUNDS}; ` +
  `Node ${process.version}, ${cpus().length} CPUs (${cpus()[0].model})`);
console.log(`  WebAssembly in Node, to memory  ${web.toFixed(2)} ms  ${(web * 1e6 / CHARS).toFixed(2)} ns/note`);
console.log(`    of which a fresh ${file.length}-byte array, filled: ${freshArray.toFixed(2)} ms`);
if (native === undefined) {
  console.log('  native: no bench/quorbel_bench in the build directory; build the default preset');
} else {
  console.log(`  native library, to /dev/null    ${native.toFixed(2)} ms  ${(native * 1e6 / CHARS).toFixed(2)} ns/note`);
  console.log(`  ratio                           ${(web / native).toFixed(2)}` +
    ` (${((web - freshArray) / native).toFixed(2)} without the fresh array)`);
}
