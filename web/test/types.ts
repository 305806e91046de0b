// Compiled, never run (npm run test:types): the declarations take what
// writeMIDI takes and refuse what it refuses.
import { MAX_NOTE_TICKS, writeMIDI } from '../index.js';

const file: Uint8Array = writeMIDI('AB', 48);
const longest: 268435455 = MAX_NOTE_TICKS;
writeMIDI(String(file.length), longest);

// @ts-expect-error the text is a string
writeMIDI(42, 48);
// @ts-expect-error the note length is a number
writeMIDI('AB', '48');
// @ts-expect-error both are required
writeMIDI('AB');
