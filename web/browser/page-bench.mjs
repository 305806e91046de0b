// The page's work for texts of 100,000 and 1,000,000 characters in headless
// Chromium, as the page measures it itself: making the file and reading its
// notes back (in the worker), drawing the whole roll, and drawing it at each
// step of zooming in on the focused roll; medians of 5 runs after one to warm
// up, a line for each length.
import { execFileSync } from 'node:child_process';
import { chromiumPath, load, openPage } from './support.mjs';

const RUNS = 5;
const sentence = 'The quick brown fox jumps over the lazy dog, and the dog sleeps on. ';

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function run(page, text) {
  return page.evaluate(async (text) => {
    performance.clearMeasures();
    const input = document.getElementById('text');
    const roll = document.getElementById('roll');
    await new Promise((done) => requestAnimationFrame(() => setTimeout(done)));
    performance.clearMeasures();
    input.value = text;
    input.dispatchEvent(new Event('input'));
    // The file is shown, and the roll drawn, in the task that measures 'generate'.
    while (!performance.getEntriesByName('generate').length) await new Promise((done) => setTimeout(done, 10));
    const [generate] = performance.getEntriesByName('generate', 'measure');
    const draw = performance.getEntriesByName('draw', 'measure').at(-1);
    // Zooming in by keys, a frame a step, from the whole file.
    performance.clearMeasures();
    roll.focus();
    for (let step = 0; step < 8; step++) {
      roll.dispatchEvent(new KeyboardEvent('keydown', { key: '+', bubbles: true }));
      await new Promise((done) => requestAnimationFrame(() => setTimeout(done)));
    }
    roll.dispatchEvent(new KeyboardEvent('keydown', { key: '0', bubbles: true }));
    const zooms = performance.getEntriesByName('draw', 'measure').map((entry) => entry.duration);
    return { generate: generate.duration, draw: draw.duration, zoom: Math.max(...zooms) };
  }, text);
}

const session = await openPage();
try {
  const { page } = session;
  await load(page, session.address('?ticks=48'));
  const version = execFileSync(chromiumPath, ['--version'], { encoding: 'utf8', stdio: ['ignore', 'pipe', 'ignore'] })
    .match(/Chromium [\d.]+/)[0];
  for (const length of [100_000, 1_000_000]) {
    const runs = [];
    // One run more than counted, first: it warms up the compiler, as typing would.
    for (let i = -1; i < RUNS; i++) {
      // A text unlike the last one, so that every run makes a file afresh.
      const text = (String(i + 1) + sentence.repeat(Math.ceil(length / sentence.length))).slice(0, length);
      const result = await run(page, text);
      if (i >= 0) runs.push(result);
    }
    const m = (key) => median(runs.map((r) => r[key])).toFixed(1);
    console.log(`page, ${length.toLocaleString('en')} characters: making the file ${m('generate')} ms (worker), ` +
      `drawing the whole roll ${m('draw')} ms, slowest of 8 zoom steps ${m('zoom')} ms (medians of ${RUNS}, ${version})`);
  }
} finally {
  await session.close();
}
