#include "TextTrack.h"

#include <string_view>

#include "TextConversion.h"

namespace quorbel {
namespace {

constexpr size_t kPieceUnits = 512;

// Counts the units of the next piece: up to kPieceUnits, stopping at the
// terminator, and never ending between the two halves of a surrogate pair.
size_t NextPieceLength(const QuorbelUTF16Unit* units) {
  size_t count = 0;
  while (count < kPieceUnits && units[count] != 0) ++count;
  if (count == kPieceUnits && IsHighSurrogate(units[count - 1]) &&
      IsLowSurrogate(units[count])) {
    --count;
  }
  return count;
}

uint64_t VarLenSize(uint32_t value) {
  uint64_t size = 1;
  while (value >>= 7) ++size;
  return size;
}

}  // namespace

uint64_t TextTrackLength(const QuorbelUTF16Unit* notes, uint32_t noteTicks) {
  // Track name "track 1", time signature, tempo, end of track.
  constexpr uint64_t kFixedEvents = (4 + sizeof kTrackName - 1) + 8 + 7 + 4;
  uint64_t bytes = 0;
  if (notes != nullptr) {
    for (size_t count; (count = NextPieceLength(notes)); notes += count) {
      bytes += MeasureTextPiece(notes, count);
    }
  }
  return kFixedEvents + bytes * (7 + VarLenSize(noteTicks));
}

void WriteTextTrack(MIDIFileWriter& writer, const QuorbelUTF16Unit* notes,
                    uint32_t noteTicks) {
  writer.WriteTrackName(kTrackName);
  writer.WriteTimeSignature(4, 2, 36, 8);  // 4/4, a click every 36 clocks
  writer.WriteTempo(kBeatsPerMinute);
  if (notes == nullptr) return;

  uint8_t bytes[kPieceUnits * kMaxBytesPerUTF16Unit];
  for (size_t count; writer.error() == 0 && (count = NextPieceLength(notes));
       notes += count) {
    const size_t size = ConvertTextPiece(notes, count, bytes);
    writer.WriteNotes(kChannel, bytes, size, noteTicks, kNoteOnVelocity,
                      kNoteOffVelocity);
  }
}

}  // namespace quorbel
