// The page in Debian's headless Chromium, as a person would use it.
import { after, before, test } from 'node:test';
import assert from 'node:assert/strict';
import { readFile } from 'node:fs/promises';
import { load, openPage } from './support.mjs';

// The library's own tests hold the file for "AB" at 48 ticks byte for byte;
// the page must hand out exactly that, not a copy of it kept here.
async function documentedExample() {
  const header = await readFile(new URL('../../tests/support/DocumentedExample.h', import.meta.url), 'utf8');
  const array = header.slice(header.indexOf('{'), header.indexOf('}')).replace(/\/\*[\s\S]*?\*\//g, '');
  return new Uint8Array(array.match(/0x[0-9a-f]{2}/gi).map(Number));
}

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
  await load(page, session.address('?text=AB&ticks=48'));
});

after(() => session?.close());

test('the download link holds the 68-byte file for "AB" at 48 ticks', async () => {
  const expected = await documentedExample();
  assert.equal(expected.length, 68);
  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  assert.equal(download.suggestedFilename(), 'ab.mid');
  assert.deepEqual(new Uint8Array(await readFile(await download.path())), expected);
});

test('the roll draws the two notes', async () => {
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
    ['?text=AB&ticks=268435456', /from 0 to 268,435,455/],
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

test('the page logs no errors', () => {
  assert.deepEqual(errors, []);
});
