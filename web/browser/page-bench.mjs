// The page's work for a 100,000-character text in headless Chromium: making
// the file (writeMIDI, and reading its notes back) and drawing the roll, as
// the page measures them itself; the median of 5 runs after one to warm up,
// in one line.
import { execFileSync } from 'node:child_process';
import { chromiumPath, load, openPage } from './support.mjs';

const LENGTH = 100_000;
const RUNS = 5;
const sentence = 'The quick brown fox jumps over the lazy dog, and the dog sleeps on. ';

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

const session = await openPage();
try {
  const { page } = session;
  await load(page, session.address('?ticks=48'));
  const runs = [];
  // One run more than counted, first: it warms up the compiler, as typing would.
  for (let run = -1; run < RUNS; run++) {
    // A text unlike the last one, so that every run makes a file afresh.
    const text = (String(run + 1) + sentence.repeat(Math.ceil(LENGTH / sentence.length))).slice(0, LENGTH);
    const result = await page.evaluate(async (text) => {
      performance.clearMeasures();
      const input = document.getElementById('text');
      input.value = text;
      const begin = performance.now();
      input.dispatchEvent(new Event('input'));
      // Two frames: the update runs in the first, the roll is painted by the second.
      await new Promise((done) => requestAnimationFrame(() => requestAnimationFrame(done)));
      const painted = performance.now() - begin;
      const [generate] = performance.getEntriesByName('generate', 'measure');
      const [draw] = performance.getEntriesByName('draw', 'measure');
      return { generate: generate.duration, draw: draw.duration, painted };
    }, text);
    if (run >= 0) runs.push(result);
  }
  const generate = median(runs.map((r) => r.generate));
  const draw = median(runs.map((r) => r.draw));
  const both = median(runs.map((r) => r.generate + r.draw));
  const painted = median(runs.map((r) => r.painted));
  const version = execFileSync(chromiumPath, ['--version'], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] })
    .match(/Chromium [\d.]+/)[0];
  console.log(`page, ${LENGTH.toLocaleString('en')} characters: generation ${generate.toFixed(1)} ms, drawing ` +
    `${draw.toFixed(1)} ms, both ${both.toFixed(1)} ms, ${painted.toFixed(1)} ms to the painted frame ` +
    `(medians of ${RUNS}, ${version})`);
} finally {
  await session.close();
}
