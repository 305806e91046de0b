// A static server for the page, for the browser tests and for a look by
// hand: `node browser/server.mjs` serves web/ until interrupted.
import { createServer } from 'node:http';
import { readFile } from 'node:fs/promises';
import { extname, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

export const webRoot = fileURLToPath(new URL('..', import.meta.url));

// Browsers compile WebAssembly as it streams in only when it comes as
// application/wasm, and run module scripts only under a JavaScript type.
const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.svg': 'image/svg+xml',
  '.mid': 'audio/midi',
  '.txt': 'text/plain; charset=utf-8',
  '.md': 'text/plain; charset=utf-8',
};

function send(response, status, headers = {}, body) {
  response.writeHead(status, { 'Cache-Control': 'no-store', ...headers });
  response.end(body);
}

/** Serves `root` on 127.0.0.1 at a port the system picks. */
export function startServer(root = webRoot) {
  const base = resolve(root);
  const server = createServer(async (request, response) => {
    if (request.method !== 'GET' && request.method !== 'HEAD') {
      send(response, 405, { Allow: 'GET, HEAD' });
      return;
    }
    let path;
    try {
      path = decodeURIComponent(new URL(request.url, 'http://127.0.0.1').pathname);
    } catch {
      send(response, 400);
      return;
    }
    if (path.endsWith('/')) path += 'index.html';
    const file = resolve(base, `.${path}`);
    if (!file.startsWith(base + sep) || path.includes('\0')) {
      send(response, 404);
      return;
    }
    let body;
    try {
      body = await readFile(file);
    } catch {
      send(response, 404);
      return;
    }
    const type = TYPES[extname(file).toLowerCase()] ?? 'application/octet-stream';
    send(response, 200, { 'Content-Type': type, 'Content-Length': body.length },
      request.method === 'HEAD' ? undefined : body);
  });
  return new Promise((started, failed) => {
    server.once('error', failed);
    server.listen(0, '127.0.0.1', () => {
      const { port } = server.address();
      started({
        url: `http://127.0.0.1:${port}/`,
        close: () => new Promise((closed) => {
          server.closeAllConnections();
          server.close(closed);
        }),
      });
    });
  });
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const { url } = await startServer(process.argv[2]);
  console.log(`Serving ${process.argv[2] ?? webRoot} at ${url}`);
}
