#pragma once

#include <cstdint>

#include "MIDIFileWriter.h"
#include "quorbel/quorbel.h"

namespace quorbel {

// The fixed settings of every file.
constexpr int16_t kTicksPerQuarterNote = 96;
constexpr char kTrackName[] = "track 1";
constexpr int32_t kBeatsPerMinute = 15;
constexpr uint8_t kChannel = 0;  // MIDI channel 1
constexpr uint8_t kNoteOnVelocity = 127;
constexpr uint8_t kNoteOffVelocity = 0;

// Whether notes of `noteTicks` can be written: a length a MIDI file can say.
constexpr bool NoteTicksInRange(int32_t noteTicks) {
  return noteTicks >= 0 && noteTicks <= QUORBEL_MAX_NOTE_TICKS;
}

// A text's units before the terminator, and the bytes of its multibyte
// form; both 0 for NULL, the empty text. `ascii` says that every unit is
// below 0x80, and so its own byte.
struct TextSize {
  size_t units;
  uint64_t bytes;
  bool ascii;
};
TextSize MeasureText(const QuorbelUTF16Unit* notes);

// Writes the track of the text `notes`, measured as `size`: its name, 4/4
// time and the tempo, then for every byte of the text in the multibyte
// encoding one note of `noteTicks`, each starting as the one before ends.
//
// Text all in ASCII becomes notes where it lies. Any other is converted a
// piece at a time, so memory use does not grow with its length; once the
// writer has failed, the rest is not converted.
void WriteTextTrack(MIDIFileWriter& writer, const QuorbelUTF16Unit* notes, const TextSize& size,
                    uint32_t noteTicks);

// The same track for text already in bytes: a note for each of `size`.
void WriteByteTrack(MIDIFileWriter& writer, const uint8_t* bytes, size_t size,
                    uint32_t noteTicks);

// The length of the track WriteTextTrack writes for a text of `textBytes`
// bytes: 30 bytes of meta events and end of track, then 7 bytes a note plus
// its length as a variable-length quantity.
uint64_t TextTrackLength(uint64_t textBytes, uint32_t noteTicks);

// The lengths of the file of a text of `textBytes` bytes, known before its
// first byte is written, so that any output can take it.
struct TextFile {
  uint64_t trackLength;
  uint64_t size;
};

// Returns 0, or EFBIG when the track would be longer than a MIDI file can
// say.
int PlanTextFile(uint64_t textBytes, uint32_t noteTicks, TextFile& file);

}  // namespace quorbel
