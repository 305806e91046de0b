// Compiled, never run (npm run test:types): the declarations take what
// writeMIDI takes and refuse what it refuses.
import { MAX_NOTE_TICKS, writeMIDI, writeMIDIView } from 'quorbel';

const file = writeMIDI('AB', 48);
const bytes: Uint8Array = file;
const longest: 268435455 = MAX_NOTE_TICKS;
writeMIDI(String(file.length), longest);
// The file goes where bytes of an ArrayBuffer of their own are wanted.
const blob: Blob = new Blob([file], { type: 'audio/midi' });
const buffer: ArrayBuffer = file.buffer;
void blob, buffer, bytes;

// @ts-expect-error the text is a string
writeMIDI(42, 48);
// @ts-expect-error the note length is a number
writeMIDI('AB', '48');
// @ts-expect-error both are required
writeMIDI('AB');

// A view is read like the file itself.
const view: Uint8Array = writeMIDIView('AB', 48);
void view;
