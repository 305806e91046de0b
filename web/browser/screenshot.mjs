// Writes web/page.png: the page as it opens on "Hello, world" at 48 ticks.
import { fileURLToPath } from 'node:url';
import { load, openPage } from './support.mjs';

const output = fileURLToPath(new URL('../page.png', import.meta.url));
const session = await openPage({ width: 800, height: 600 });
try {
  await load(session.page, session.address(`?${new URLSearchParams({ text: 'Hello, world', ticks: '48' })}`));
  await session.page.screenshot({ path: output, fullPage: true });
  console.log(`Wrote ${output}`);
} finally {
  await session.close();
}
