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

// A text's units before the terminator, and the bytes of its multibyte
// form; both 0 for NULL, the empty text.
struct TextSize {
  size_t units;
  uint64_t bytes;
};
TextSize MeasureText(const QuorbelUTF16Unit* notes);

// Writes the track of a text of `units` units: its name, 4/4 time and the
// tempo, then for every byte of the text in the multibyte encoding one note
// of `noteTicks`, each starting as the one before ends.
//
// The text is converted a piece at a time, so memory use does not grow
// with its length. Once the writer has failed, the rest is not converted.
void WriteTextTrack(MIDIFileWriter& writer, const QuorbelUTF16Unit* notes, size_t units,
                    uint32_t noteTicks);

// The length of the track WriteTextTrack writes for a text of `textBytes`
// bytes: 30 bytes of meta events and end of track, then 7 bytes a note plus
// its length as a variable-length quantity.
uint64_t TextTrackLength(uint64_t textBytes, uint32_t noteTicks);

}  // namespace quorbel
