// The text as the tool sees it, its file's name, and links that carry it.

/** The longest link the page hands out: what Apache (8,190 bytes of request
 * line) and nginx (8 KB header buffers) accept by default, with room for the
 * request's own words. */
export const LINK_LIMIT = 8000;

/** The address of `base` (a URL) with the text (unless null) and note length in its query. */
export function linkTo(base, text, ticks) {
  const url = new URL(base);
  url.search = '';
  url.hash = '';
  // A text longer than the limit cannot fit, encoded: spare encoding it.
  if (text?.length > LINK_LIMIT) return { href: null, length: Infinity };
  if (text !== null) url.searchParams.set('text', text);
  url.searchParams.set('ticks', ticks);
  return { href: url.href, length: url.href.length };
}

/**
 * A file's text: UTF-8, every byte kept, a byte order mark and carriage
 * returns included, as the tool reads its standard input. Anything that is
 * not UTF-8 is refused rather than changed, as the tool refuses it.
 */
export async function readTextFile(file) {
  const bytes = new Uint8Array(await file.arrayBuffer());
  try {
    return new TextDecoder('utf-8', { fatal: true, ignoreBOM: true }).decode(bytes);
  } catch {
    throw new Error(`${file.name} is not UTF-8 text`);
  }
}

// FNV-1a: a short name that differs with the text, where the text gives none.
function shortHash(text) {
  let h = 0x811c9dc5;
  for (const byte of new TextEncoder().encode(text)) h = Math.imul(h ^ byte, 0x01000193);
  return (h >>> 0).toString(16).padStart(8, '0');
}

/**
 * The download's name: the text's first words. Latin letters lose their
 * accents (so "Crème" is "creme"); a text in another script keeps its own
 * letters, which current systems take in a file name; a text of no letters
 * or digits at all (emoji, punctuation) is named by a hash of its bytes.
 */
export function fileName(whole) {
  const text = whole.slice(0, 200);
  const own = /[\p{L}\p{N}]/u.test(text.replace(/[\p{Script=Latin}\p{Script=Common}]/gu, ''));
  const base = own
    ? text.normalize('NFC').toLowerCase().replace(/[^\p{L}\p{N}\p{M}]+/gu, '-')
    : text.replace(/ß/g, 'ss').normalize('NFKD').replace(/[\u0300-\u036f]/g, '').toLowerCase()
      .replace(/[^a-z0-9]+/g, '-');
  const name = [...base.slice(0, 80)].slice(0, 40).join('').replace(/^-+|-+$/g, '');
  return `${name || `quorbel-${shortHash(whole)}`}.mid`;
}
