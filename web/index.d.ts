/** The longest note, in ticks: the largest delta time a MIDI file holds. */
export declare const MAX_NOTE_TICKS: 268435455;

/**
 * Turns a line of text into a Standard MIDI File (format 0, 96 ticks per
 * quarter note, a track named "track 1", 4/4, 15 beats per minute). Every
 * byte of the text's UTF-8 form, a lone surrogate taken as U+FFFD, becomes
 * one note of `noteTicks` ticks on channel 1, one after another; the note's
 * number is the byte's low seven bits. The bytes are those the native
 * library writes for the same text.
 *
 * @param text any string without U+0000
 * @param noteTicks an integer from 0 to MAX_NOTE_TICKS; 24 ticks last one second
 * @returns the file's bytes
 * @throws TypeError when `text` is not a string (a String object is not
 *   one) or `noteTicks` is not a number
 * @throws RangeError when `noteTicks` is not an integer in range, when `text` holds
 *   U+0000, or when the file is too large to make: `code` EFBIG for a file
 *   of 2 GiB less 1 MiB or more, ENOMEM when memory runs out
 */
// Uint8Array<ArrayBuffer> where TypeScript knows the form (5.7 and later):
// the bytes are in an ArrayBuffer of their own, never a shared one.
export declare function writeMIDI(text: string, noteTicks: number): ReturnType<Uint8Array['slice']>;

/**
 * The same file as `writeMIDI`, without the copy: a view of the bytes
 * where the WebAssembly module wrote them, in its own memory. For a caller
 * that uses the bytes at once (writes them out, reads them, copies part)
 * and saves `writeMIDI`'s copy into a new array.
 *
 * The view is valid until the next call of `writeMIDI` or `writeMIDIView`
 * (of the same module: `import` and `require` each load their own). That
 * call reuses the memory, so the view's bytes change, and when the module's
 * memory has to grow the view becomes empty (length 0). Its `buffer` is
 * the module's whole memory, not the file alone: copy the bytes
 * (`view.slice()`) to keep them.
 *
 * @throws as `writeMIDI`
 */
export declare function writeMIDIView(text: string, noteTicks: number): ReturnType<Uint8Array['slice']>;
