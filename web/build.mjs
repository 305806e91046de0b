// npm run build: compiles the library's own sources to quorbel.wasm through
// CMake's wasm preset, then puts the module beside index.js.
import { execFileSync } from 'node:child_process';
import { copyFileSync } from 'node:fs';
import { fileURLToPath } from 'node:url';

const root = fileURLToPath(new URL('..', import.meta.url));
execFileSync('cmake', ['--workflow', '--preset', 'wasm'], { cwd: root, stdio: 'inherit' });
copyFileSync(new URL('../build-wasm/export/quorbel.wasm', import.meta.url),
  new URL('./quorbel.wasm', import.meta.url));
