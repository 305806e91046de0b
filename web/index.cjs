// Quorbel for JavaScript, for require in Node: the same functions as the
// ES module (index.js), with quorbel.wasm compiled synchronously, so that
// loading needs no top-level await.
'use strict';

const { readFileSync } = require('node:fs');
const { join } = require('node:path');
const { MAX_NOTE_TICKS, binding } = require('./core.cjs');

const bytes = readFileSync(join(__dirname, 'quorbel.wasm'));
const { imports, bind } = binding();
const { writeMIDI, writeMIDIView } = bind(new WebAssembly.Instance(new WebAssembly.Module(bytes), imports));

module.exports = { MAX_NOTE_TICKS, writeMIDI, writeMIDIView };
