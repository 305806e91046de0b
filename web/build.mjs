// npm run build: compiles the library's own sources to quorbel.wasm through
// CMake's wasm preset, then puts the module beside index.js, with what the
// package makes of its own sources for require (see makeCommonJS) and the
// licence, which npm packs from beside package.json.
//   node build.mjs            all of it
//   node build.mjs --entries  the CommonJS files only (before npm test)
import { execFileSync } from 'node:child_process';
import { copyFileSync, readFileSync, writeFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

const here = (name) => new URL(name, import.meta.url);

// core.js as CommonJS: its `export function` and `export const` become
// plain declarations, listed in module.exports. It imports nothing, so
// that is the whole difference; anything else it exported would be lost,
// and stops the build. The declarations are copied as they are.
function makeCommonJS() {
  const source = readFileSync(here('./core.js'), 'utf8');
  const names = [];
  const body = source.replace(/^export (function|const) (\w+)/gm, (_, kind, name) => {
    names.push(name);
    return `${kind} ${name}`;
  });
  if (/^\s*(import|export)\b/m.test(body)) {
    throw new Error('core.js: only `export function` and `export const` can be made CommonJS');
  }
  writeFileSync(here('./core.cjs'), `// Made by build.mjs from core.js: edit that.\n'use strict';\n\n${body}\n` +
    `module.exports = { ${names.join(', ')} };\n`);
  // TypeScript takes a .d.cts for a CommonJS file and a .d.ts for an ES
  // module; what they declare is the same.
  writeFileSync(here('./index.d.cts'), readFileSync(here('./index.d.ts'), 'utf8'));
}

makeCommonJS();
if (!process.argv.includes('--entries')) {
  const root = fileURLToPath(here('..'));
  execFileSync('cmake', ['--workflow', '--preset', 'wasm'], { cwd: root, stdio: 'inherit' });
  copyFileSync(here('../build-wasm/export/quorbel.wasm'), here('./quorbel.wasm'));
  copyFileSync(here('../LICENSE'), here('./LICENSE'));
}
