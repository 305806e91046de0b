// Compiled, never run (npm run test:types): the declarations as a
// CommonJS TypeScript file sees them, through require.
import quorbel = require('quorbel');

const file: Uint8Array = quorbel.writeMIDI('AB', quorbel.MAX_NOTE_TICKS);
const view: Uint8Array = quorbel.writeMIDIView('AB', 48);
void file, view;

// @ts-expect-error the note length is a number
quorbel.writeMIDI('AB', 48n);
