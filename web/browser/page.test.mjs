// The page in Debian's headless Chromium, as a person would use it.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { existsSync } from 'node:fs';
import { readFile } from 'node:fs/promises';
import { createRequire } from 'node:module';
import { fileURLToPath } from 'node:url';
import { load, openPage } from './support.mjs';
import { barBeat, beatLines, clock, readMIDI } from '../page/midi.js';
import { fileName } from '../page/text.js';
import { MAX_NOTE_TICKS } from '../core.js';

// The documented example that every suite compares with: the page must
// hand out exactly that file for its text and note length.
const fixtures = new URL('../../tests/fixtures/', import.meta.url);
const example = {
  file: new Uint8Array(await readFile(new URL('example.mid', fixtures))),
  ...JSON.parse(await readFile(new URL('example.json', fixtures), 'utf8')),
};

let session;
let page;
const errors = [];

before(async () => {
  session = await openPage();
  page = session.page;
  page.on('console', (message) => {
    if (message.type() === 'error') errors.push(`console: ${message.text()}`);
  });
  page.on('pageerror', (error) => errors.push(`page: ${error.message}`));
  await load(page, session.address(`?text=${encodeURIComponent(example.text)}&ticks=${example.noteTicks}`));
});

after(() => session?.close());

test('the download link holds the documented example', async () => {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  assert.equal(download.suggestedFilename(), fileName(example.text));
  assert.deepEqual(new Uint8Array(await readFile(await download.path())), example.file);
});

test('the roll draws the two notes', async () => {
  await load(page, session.address('?text=AB&ticks=48'));
  assert.equal(await page.getAttribute('#roll', 'data-notes'), '2');
  // What is on the canvas: the boxes of the note colour, each as its left
  // edge and middle, found by flood fill.
  const boxes = await page.evaluate(() => {
    const roll = document.getElementById('roll');
    const swatch = document.createElement('canvas').getContext('2d');
    swatch.fillStyle = getComputedStyle(roll).getPropertyValue('--roll-note').trim();
    swatch.fillRect(0, 0, 1, 1);
    const [r, g, b] = swatch.getImageData(0, 0, 1, 1).data;
    const { width, height } = roll;
    const data = roll.getContext('2d').getImageData(0, 0, width, height).data;
    const isNote = (i) => data[4 * i] === r && data[4 * i + 1] === g && data[4 * i + 2] === b;
    const seen = new Uint8Array(width * height);
    const found = [];
    for (let start = 0; start < width * height; start++) {
      if (seen[start] || !isNote(start)) continue;
      let left = width, top = height, bottom = 0;
      const stack = [start];
      seen[start] = 1;
      while (stack.length) {
        const i = stack.pop();
        const x = i % width, y = (i - x) / width;
        left = Math.min(left, x); top = Math.min(top, y); bottom = Math.max(bottom, y);
        for (const j of [x > 0 && i - 1, x < width - 1 && i + 1, i - width, i + width]) {
          if (j !== false && j >= 0 && j < width * height && !seen[j] && isNote(j)) {
            seen[j] = 1;
            stack.push(j);
          }
        }
      }
      found.push({ left, middle: (top + bottom) / 2 });
    }
    return found.sort((a, b) => a.left - b.left);
  });
  assert.equal(boxes.length, 2, JSON.stringify(boxes));
  // "A" (65) sounds first and lower than "B" (66).
  assert.ok(boxes[0].middle > boxes[1].middle, JSON.stringify(boxes));
});

test('Play plays every note to the end and Stop ends early, from the keyboard, without an error', async () => {
  const before = errors.length;
  await load(page, session.address('?text=AB&ticks=6')); // a quarter of a second a note
  await page.focus('#play');
  await page.keyboard.press('Enter');
  // Only an audio clock that runs brings the end of the notes.
  await page.waitForFunction(() => document.getElementById('message').textContent === '2 notes played.');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'play');

  await page.fill('#ticks', '48');
  await page.waitForFunction(() => document.getElementById('message').textContent === '2 notes, 4 s in all.');
  await page.focus('#play');
  await page.keyboard.press('Enter');
  assert.equal(await page.evaluate(() => document.activeElement.id), 'stop');
  await page.keyboard.press('Enter');
  assert.equal(await page.textContent('#message'), 'Stopped.');
  assert.equal(await page.isDisabled('#play'), false);
  assert.deepEqual(errors.slice(before), []);
});

test('an empty text or a note length out of range is explained, and no file is offered', async () => {
  for (const [query, pattern] of [
    ['?text=&ticks=48', /Type some text/],
    [`?text=AB&ticks=${MAX_NOTE_TICKS + 1}`,
      new RegExp(`from 0 to ${new Intl.NumberFormat('en').format(MAX_NOTE_TICKS)}`)],
    ['?text=AB&ticks=1.5', /whole number/],
  ]) {
    await load(page, session.address(query));
    assert.match(await page.textContent('#message'), pattern, query);
    assert.equal(await page.getAttribute('#download', 'href'), null, query);
    assert.equal(await page.isDisabled('#play'), true, query);
  }
  await page.fill('#ticks', '268435455');
  await page.waitForSelector('#download[href]');
});

test('once loaded, the page makes its files offline', async () => {
  await session.context.setOffline(true);
  try {
    await page.fill('#text', 'offline');
    await page.waitForSelector('#roll[data-notes="7"]', { state: 'attached' });
    assert.equal(await page.getAttribute('#download', 'download'), 'offline.mid');
  } finally {
    await session.context.setOffline(false);
  }
});


// A file made by hand, unlike any the library writes: 480 ticks a quarter,
// 3/4 at 120 beats per minute, 60 from tick 960, 6/8 from bar 3.
test('bars, beats and seconds come from the file\'s own tempo and time signatures', () => {
  const track = [
    0x00, 0xff, 0x58, 0x04, 3, 2, 24, 8, 0x00, 0xff, 0x51, 0x03, 0x07, 0xa1, 0x20,
    0x87, 0x40, 0xff, 0x51, 0x03, 0x0f, 0x42, 0x40, // at 960: 1,000,000 µs a quarter
    0x8f, 0x00, 0xff, 0x58, 0x04, 6, 3, 24, 8, // at 2880: 6/8
    0x00, 0x90, 60, 100, 0x83, 0x60, 0x80, 60, 0, 0x00, 0xff, 0x2f, 0x00,
  ];
  const file = new Uint8Array([0x4d, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 0, 0, 1, 0x01, 0xe0,
    0x4d, 0x54, 0x72, 0x6b, 0, 0, 0, track.length, ...track]);
  const midi = readMIDI(file);
  assert.deepEqual([midi.count, midi.starts[0], midi.ends[0]], [1, 2880, 3360]);
  const bars = [];
  beatLines(midi, 0, 5000, { beatsToo: false, everyBars: 1 }, (tick, bar) => bars.push([tick, bar]));
  assert.deepEqual(bars, [[0, 1], [1440, 2], [2880, 3], [4320, 4]]);
  assert.deepEqual(barBeat(midi, 3120), { bar: 3, beat: 2, ticks: 0 });
  const time = clock(midi);
  assert.deepEqual([time.seconds(960), time.seconds(1440), time.tick(1.5)], [1, 2, 1200]);
});

test('a text of no Latin letters still names its file by itself', () => {
  assert.equal(fileName('Привет, мир!'), 'привет-мир.mid');
  assert.equal(fileName('Crème brûlée'), 'creme-brulee.mid');
  assert.match(fileName('♪♫'), /^quorbel-[0-9a-f]{8}\.mid$/);
  assert.notEqual(fileName('♪♫'), fileName('♫♪'));
});

// The roll draws in the frame after a change.
const nextFrame = () => page.evaluate(() => new Promise((done) => requestAnimationFrame(() => done())));

// The plot's box, the view and the x of each pixel column of a colour in the
// plot's top row (a row kept clear of notes), all in CSS pixels.
async function columnsOf(colour) {
  await nextFrame();
  return page.evaluate((colour) => {
    const roll = document.getElementById('roll');
    const ratio = devicePixelRatio;
    const [left, top, width] = roll.dataset.plot.split(' ').map(Number);
    const [start, span] = roll.dataset.view.split(' ').map(Number);
    const swatch = document.createElement('canvas').getContext('2d');
    swatch.fillStyle = getComputedStyle(roll).getPropertyValue(colour).trim();
    swatch.fillRect(0, 0, 1, 1);
    const want = [...swatch.getImageData(0, 0, 1, 1).data].join();
    const row = roll.getContext('2d').getImageData(0, Math.round(top * ratio) + 1, roll.width, 1).data;
    const xs = [];
    for (let x = 0; x < roll.width; x++) {
      if ([...row.subarray(4 * x, 4 * x + 4)].join() === want) xs.push(x / ratio - left);
    }
    return { xs, width, start, span };
  }, colour);
}

function assertBarsAt(found, ticks) {
  const expected = ticks.map((tick) => Math.min(found.width - 1, ((tick - found.start) / found.span) * found.width));
  assert.equal(found.xs.length, expected.length, JSON.stringify({ found, expected }));
  found.xs.forEach((x, i) => assert.ok(Math.abs(x - expected[i]) <= 1.5, JSON.stringify({ found, expected })));
}

test('the roll draws bar lines where the bars are, and zooming changes what is in view', async () => {
  // 20 notes of half a beat: two and a half bars of 384 ticks.
  await load(page, session.address('?text=ABCDEFGHIJKLMNOPQRST&ticks=48'));
  assertBarsAt(await columnsOf('--roll-bar'), [0, 384, 768]);
  assert.equal(await page.textContent('#position'), 'Playhead: bar 1, beat 1 (1:1), 0 s');

  await page.focus('#roll');
  await page.keyboard.press('+');
  await page.keyboard.press('ArrowRight');
  const zoomed = await columnsOf('--roll-bar');
  assert.ok(zoomed.span < 700 && zoomed.start > 0, JSON.stringify(zoomed));
  assertBarsAt(zoomed, [384, 768].filter((t) => t >= zoomed.start && t <= zoomed.start + zoomed.span));

  // A wheel turned forward over the roll zooms in further, about the pointer.
  const box = await page.locator('#roll').boundingBox();
  await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
  await page.mouse.wheel(0, -300);
  await page.waitForFunction((span) => Number(document.getElementById('roll').dataset.view.split(' ')[1]) < span,
    zoomed.span);
  await page.keyboard.press('0');
  assertBarsAt(await columnsOf('--roll-bar'), [0, 384, 768]);
});

// Where they crowd, the roll draws a summary of the notes rather than each.
test('100,000 notes are drawn on the same rows as a few', async () => {
  await load(page, session.address('?ticks=48'));
  const rows = async (text) => {
    // page.fill takes minutes over 30,000 line breaks; the page hears the same event.
    await page.evaluate((text) => {
      const input = document.getElementById('text');
      input.value = text;
      input.dispatchEvent(new Event('input'));
    }, text);
    await page.waitForSelector(`#roll[data-notes="${text.length}"]`, { state: 'attached' });
    const { xs } = await columnsOf('--roll-note'); // the top row holds no note: none
    assert.deepEqual(xs, []);
    return page.evaluate(() => {
      const roll = document.getElementById('roll');
      const [left, top, width, height] = roll.dataset.plot.split(' ').map((n) => Math.round(n * devicePixelRatio));
      const swatch = document.createElement('canvas').getContext('2d');
      swatch.fillStyle = getComputedStyle(roll).getPropertyValue('--roll-note').trim();
      swatch.fillRect(0, 0, 1, 1);
      const want = [...swatch.getImageData(0, 0, 1, 1).data].join();
      const plot = roll.getContext('2d').getImageData(left, top, width, height).data;
      const isNote = (i) => [...plot.subarray(4 * i, 4 * i + 4)].join() === want;
      // The pixel rows that hold a note anywhere.
      return [...Array(height).keys()].filter((y) => [...Array(width).keys()].some((x) => isNote(y * width + x)));
    });
  };
  const few = await rows('AZ\n'.repeat(10));
  assert.ok(few.length > 0);
  assert.deepEqual(await rows('AZ\n'.repeat(33_334)), few);
});

test('the address follows the fields; copy-link refuses a text too long for a link', async () => {
  await session.context.grantPermissions(['clipboard-read', 'clipboard-write']);
  await load(page, session.address('?ticks=48'));
  await page.fill('#text', 'x y\nz');
  await page.fill('#ticks', '12');
  await page.waitForFunction(() => location.search === '?text=x+y%0Az&ticks=12');

  // The longest text that fits: its link, copied, opens the page on it.
  const room = 8000 - (await page.evaluate(() => location.href.length)) + 'x+y%0Az'.length;
  const longest = 'q'.repeat(room);
  await page.fill('#text', longest);
  await page.click('#copy-link');
  await page.waitForFunction(() => /Link copied/.test(document.getElementById('link-info').textContent));
  const link = await page.evaluate(() => navigator.clipboard.readText());
  assert.equal(link.length, 8000);
  assert.equal((await page.goto(link)).status(), 200);
  await page.waitForSelector('html[data-ready]', { state: 'attached' });
  assert.equal(await page.inputValue('#text'), longest);

  await page.fill('#text', `${longest}q`);
  await page.click('#copy-link');
  assert.match(await page.textContent('#link-info'), /too long for a link: .* up to 8,000 characters/);
  assert.equal(await page.evaluate(() => navigator.clipboard.readText()), link);
  // The address keeps what fits in it: a reload must not meet a refusal.
  await page.waitForFunction(() => location.search === '?ticks=12');
});

// The native tool, built by the default preset; QUORBEL_TOOL names another.
const tool = process.env.QUORBEL_TOOL ?? fileURLToPath(new URL('../../build/cli/quorbel', import.meta.url));

async function downloaded() {
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  return readFile(await download.path());
}

test('a line break typed, and a file dropped, give the tool\'s bytes', { skip: !existsSync(tool) && `no native tool at ${tool}` }, async () => {
  const native = (input) => execFileSync(tool, ['-t', '30', '-o', '-'], { input, stdio: ['pipe', 'pipe', 'ignore'] });
  await load(page, session.address('?ticks=30'));
  await page.focus('#text');
  await page.keyboard.type('A');
  await page.keyboard.press('Enter');
  await page.keyboard.type('é');
  await page.waitForSelector('#roll[data-notes="4"]', { state: 'attached' });
  assert.ok((await downloaded()).equals(native('A\né')));

  // A byte order mark, CR LF line ends, a letter of two bytes, a last line break.
  const bytes = Buffer.from('\ufeffone\r\ntwo ü\r\n', 'utf8');
  const drop = await page.evaluateHandle((bytes) => {
    const data = new DataTransfer();
    data.items.add(new File([new Uint8Array(bytes)], 'song.txt', { type: 'text/plain' }));
    return data;
  }, [...bytes]);
  await page.dispatchEvent('#roll', 'drop', { dataTransfer: drop });
  await page.waitForSelector(`#roll[data-notes="${bytes.length}"]`, { state: 'attached' });
  assert.ok((await downloaded()).equals(native(bytes)));
});

test('Space plays and stops outside the text, Escape stops, a click on the roll moves the playhead', async () => {
  await load(page, session.address('?text=ABCDEFGH&ticks=48')); // one bar, 16 s
  const box = await page.locator('#roll').boundingBox();
  const [left, top, width, height] = (await page.getAttribute('#roll', 'data-plot')).split(' ').map(Number);
  await page.mouse.click(box.x + left + width / 2, box.y + top + height / 2);
  assert.equal(await page.textContent('#position'), 'Playhead: bar 1, beat 3 (1:3), 8 s');

  await page.focus('#roll');
  await page.keyboard.press(' ');
  await page.waitForFunction(() => document.getElementById('message').textContent === 'Playing…');
  await page.waitForFunction(() => /beat [34] .*, (8\.[1-9]|9|1\d)/.test(document.getElementById('position').textContent));
  await page.keyboard.press(' ');
  assert.equal(await page.textContent('#message'), 'Stopped.');
  await page.keyboard.press(' ');
  assert.equal(await page.isDisabled('#stop'), false);
  await page.focus('#text');
  await page.keyboard.press('Escape');
  assert.equal(await page.textContent('#message'), 'Stopped.');
  // In the text, Space is a space.
  await page.keyboard.press('End');
  await page.keyboard.press(' ');
  assert.equal(await page.inputValue('#text'), 'ABCDEFGH ');
  assert.equal(await page.isDisabled('#stop'), true);
});

test('a keystroke in a text of 100,000 characters is on screen quickly', async (t) => {
  await load(page, session.address('?ticks=48'));
  const sentence = 'The quick brown fox jumps over the lazy dog, and the dog sleeps on. ';
  await page.fill('#text', sentence.repeat(1500).slice(0, 100_000));
  await page.waitForSelector('#roll[data-notes="100000"]', { state: 'attached' });
  await page.evaluate(() => {
    window.latencies = [];
    // From the key's event to the frame after it is painted.
    document.getElementById('text').addEventListener('keydown', (event) => {
      requestAnimationFrame(() => setTimeout(() => window.latencies.push(performance.now() - event.timeStamp)));
    });
  });
  await page.focus('#text');
  await page.keyboard.press('End');
  for (const key of 'abcdefghijklmnopqrst') {
    await page.keyboard.press(key);
    await page.waitForTimeout(60); // a quick typist
  }
  await page.waitForSelector('#roll[data-notes="100020"]', { state: 'attached' });
  const latencies = (await page.evaluate(() => window.latencies)).sort((a, b) => a - b);
  const median = latencies[latencies.length >> 1];
  t.diagnostic(`keystroke to painted frame at 100,000 characters: median ${median.toFixed(1)} ms, ` +
    `slowest ${latencies[latencies.length - 1].toFixed(1)} ms of ${latencies.length}`);
  assert.ok(median < 200, `median ${median} ms`);
});

// axe-core, a devDependency, checks the page as a screen reader's user
// meets it; the test says so where it is not installed.
const axePath = (() => {
  try {
    return createRequire(import.meta.url).resolve('axe-core/axe.min.js');
  } catch {
    return null;
  }
})();

test('axe-core finds nothing to fix, in light and dark', { skip: !axePath && 'axe-core is not installed' }, async () => {
  for (const colorScheme of ['light', 'dark']) {
    await page.emulateMedia({ colorScheme });
    await load(page, session.address('?text=Hello%0Aworld&ticks=48'));
    await page.addScriptTag({ path: axePath });
    const violations = await page.evaluate(async () =>
      (await window.axe.run(document)).violations.map((v) => `${v.id}: ${v.nodes.map((n) => n.target).join(' ')}`));
    assert.deepEqual(violations, [], colorScheme);
  }
  await page.emulateMedia({ colorScheme: 'light' });
});

test('the page logs no errors', () => {
  assert.deepEqual(errors, []);
});
