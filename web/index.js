// Quorbel for JavaScript: the native library compiled to WebAssembly, so a
// file made here is byte for byte the one QUORBEL.dll or libquorbel.so
// makes of the same text. The ES module: it loads quorbel.wasm once, at
// import, in browsers and in Node. (require takes index.cjs instead.)
import { MAX_NOTE_TICKS, binding } from './core.js';

async function moduleBytes(url) {
  if (url.protocol === 'file:') {
    // Node reads files; fetch does not take file: URLs there. The name is a
    // variable so that bundlers for the browser leave Node's module alone.
    const files = 'node:fs/promises';
    const { readFile } = await import(/* webpackIgnore: true */ files);
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`quorbel: cannot load ${url}: HTTP ${response.status}`);
  return response.arrayBuffer();
}

const { imports, bind } = binding();
const { instance } = await WebAssembly.instantiate(
  await moduleBytes(new URL('./quorbel.wasm', import.meta.url)), imports);

export const { writeMIDI, writeMIDIView } = bind(instance);
export { MAX_NOTE_TICKS };
