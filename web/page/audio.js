// Playing the notes with Web Audio, a plain tone each, timed by the file's
// own tempo, from any point of the file.
import { clock } from './midi.js';

const LOOKAHEAD = 0.5; // seconds of notes handed to the audio thread ahead of time

let audioContext = null;

export class Player {
  /** onFrame(tick) runs every frame while playing, onEnd() once the last note is over. */
  constructor({ onFrame, onEnd }) {
    this.onFrame = onFrame;
    this.onEnd = onEnd;
    this.state = null;
  }

  get playing() {
    return this.state !== null;
  }

  /** Plays from `from` ticks; false when there is nothing to hear. */
  play(midi, from = 0) {
    this.stop();
    const time = clock(midi);
    if (midi.endTime === 0 || from >= midi.endTime) return false;
    audioContext ??= new AudioContext();
    audioContext.resume();
    const ctx = audioContext;
    const out = ctx.createGain();
    out.gain.value = 0.2;
    out.connect(ctx.destination);
    const offset = time.seconds(from);
    const begin = ctx.currentTime + 0.05 - offset;
    const state = { out, next: 0, live: new Set(), timer: 0, frame: 0 };
    this.state = state;
    // Notes are handed over a little at a time: a long text holds more notes
    // than is sensible to create at once.
    const feed = () => {
      const horizon = ctx.currentTime + LOOKAHEAD;
      while (state.next < midi.count) {
        const i = state.next;
        const start = begin + Math.max(offset, time.seconds(midi.starts[i]));
        if (start > horizon) break;
        state.next++;
        const end = begin + time.seconds(midi.ends[i]);
        if (end > start && end >= ctx.currentTime) this.tone(midi.numbers[i], start, end);
      }
      if (ctx.currentTime > begin + time.seconds(midi.endTime)) this.finish();
    };
    const frame = () => {
      this.onFrame(Math.min(midi.endTime, time.tick(Math.max(offset, ctx.currentTime - begin))));
      state.frame = requestAnimationFrame(frame);
    };
    state.timer = setInterval(feed, 100);
    feed();
    if (this.state === state) frame();
    return true;
  }

  tone(key, start, end) {
    const { out, live } = this.state;
    const ctx = out.context;
    const ramp = Math.min(0.005, (end - start) / 4);
    const osc = ctx.createOscillator();
    const gain = ctx.createGain();
    osc.type = 'triangle';
    osc.frequency.value = 440 * 2 ** ((key - 69) / 12);
    gain.gain.setValueAtTime(0, start);
    gain.gain.linearRampToValueAtTime(1, start + ramp);
    gain.gain.setValueAtTime(1, end - ramp);
    gain.gain.linearRampToValueAtTime(0, end);
    osc.connect(gain).connect(out);
    osc.start(start);
    osc.stop(end);
    live.add(osc);
    osc.onended = () => live.delete(osc);
  }

  finish() {
    this.stop();
    this.onEnd();
  }

  stop() {
    if (!this.state) return;
    const { out, live, timer, frame } = this.state;
    this.state = null;
    clearInterval(timer);
    cancelAnimationFrame(frame);
    for (const osc of live) {
      osc.onended = null;
      osc.stop();
    }
    out.disconnect();
  }
}
