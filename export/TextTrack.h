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

// Writes the track of a text: its name, 4/4 time and the tempo, then for
// every byte of the text in the multibyte encoding one note of `noteTicks`,
// each starting as the one before ends. NULL is the empty text.
//
// The text is converted a piece at a time, so memory use does not grow
// with its length. Once the writer has failed, the rest is not converted.
void WriteTextTrack(MIDIFileWriter& writer, const QuorbelUTF16Unit* notes,
                    uint32_t noteTicks);

// The length of the track WriteTextTrack writes, from a first pass over the
// text that converts nothing: 30 bytes of meta events and end of track,
// then 7 bytes a note plus its length as a variable-length quantity.
uint64_t TextTrackLength(const QuorbelUTF16Unit* notes, uint32_t noteTicks);

}  // namespace quorbel
