// Makes the file away from the page's thread: a long text takes tens of
// milliseconds to write and read back, which would hold up typing. One
// request at a time comes in; the page sends the latest text when it is done.
import { writeMIDI } from '../index.js';
import { clock, readMIDI, summarize } from './midi.js';

const encoder = new TextEncoder();

self.onmessage = ({ data: { id, text, ticks } }) => {
  const begin = performance.now();
  try {
    const file = writeMIDI(text, ticks);
    const midi = readMIDI(file);
    // The roll's summary, which a million notes take milliseconds to make.
    midi.summary = summarize(midi, midi.endTime > 0 ? midi.endTime : clock(midi).tick(1));
    const { starts, ends, numbers } = midi;
    const { maxEnds, keys } = midi.summary;
    self.postMessage({ id, file, midi, bytes: encoder.encode(text).length, took: performance.now() - begin },
      [file.buffer, starts.buffer, ends.buffer, numbers.buffer, maxEnds.buffer, keys.buffer]);
  } catch (error) {
    self.postMessage({ id, error: error.message });
  }
};
self.postMessage({ ready: true });
