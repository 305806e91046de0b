// What the browser test, the screenshot and the page bench share: the page
// served from web/ and Debian's Chromium, headless, with a profile of its own.
import { access, mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';
import { startServer, webRoot } from './server.mjs';

export const chromiumPath = '/usr/bin/chromium';

const chromiumArgs = [
  '--headless',
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
];

/** Opens a page on web/; `address(query)` is index.html's URL, `close()` ends it all. */
export async function openPage({ width = 900, height = 720 } = {}) {
  // Without the module the page can only say so; better to stop here and say why.
  await access(join(webRoot, 'quorbel.wasm')).catch(() => {
    throw new Error(`${join(webRoot, 'quorbel.wasm')} is missing: run "npm run build" in web/ first`);
  });
  const server = await startServer();
  const profile = await mkdtemp(join(tmpdir(), 'quorbel-chromium-'));
  const cleanUp = async () => {
    await server.close();
    await rm(profile, { recursive: true, force: true });
  };
  let context;
  try {
    context = await chromium.launchPersistentContext(profile, {
      executablePath: chromiumPath,
      headless: true,
      args: chromiumArgs,
      viewport: { width, height },
      acceptDownloads: true,
    });
  } catch (error) {
    await cleanUp();
    throw error;
  }
  const page = context.pages()[0] ?? (await context.newPage());
  return {
    page,
    context,
    address: (query = '') => `${server.url}index.html${query}`,
    close: async () => {
      await context.close();
      await cleanUp();
    },
  };
}

/** Loads the page and waits until it has drawn what the address asks for. */
export async function load(page, address) {
  await page.goto(address);
  await page.waitForSelector('html[data-ready]', { state: 'attached' });
}
