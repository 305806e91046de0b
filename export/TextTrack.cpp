#include "TextTrack.h"

#include <cerrno>
#include <string_view>

#include "ASCIIScan.h"
#include "TextConversion.h"

namespace quorbel {
namespace {

constexpr size_t kPieceUnits = 512;

// The units of the next piece: up to kPieceUnits of the `remaining`, never
// ending between the two halves of a surrogate pair.
size_t NextPieceLength(const QuorbelUTF16Unit* units, size_t remaining) {
  size_t count = remaining < kPieceUnits ? remaining : kPieceUnits;
  if (count < remaining && IsHighSurrogate(units[count - 1]) && IsLowSurrogate(units[count])) {
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

// One pass finds both the terminator and the converted length, so that a
// long text is read twice in all, not three times. ASCII is a byte a unit
// in every multibyte encoding the library converts to, and is counted by
// the vector scan; a stretch with anything else goes to the system's own
// measure a piece at a time.
TextSize MeasureText(const QuorbelUTF16Unit* notes) {
  TextSize size{0, 0, true};
  if (notes == nullptr) return size;
  for (;;) {
    const size_t run = ASCIIRunLength(notes + size.units);
    size.units += run;
    size.bytes += run;
    const QuorbelUTF16Unit* const p = notes + size.units;
    if (p[0] == 0) return size;
    size.ascii = false;
    const size_t found = 1 + UnitsBeforeTerminator(p + 1, kPieceUnits - 1);
    // A unit more where the text goes on, so that a pair across the end of
    // the piece stays whole.
    const size_t count = NextPieceLength(p, found + (p[found] != 0));
    size.units += count;
    size.bytes += MeasureTextPiece(p, count);
  }
}

uint64_t TextTrackLength(uint64_t textBytes, uint32_t noteTicks) {
  // Track name "track 1", time signature, tempo, end of track.
  constexpr uint64_t kFixedEvents = (4 + sizeof kTrackName - 1) + 8 + 7 + 4;
  return kFixedEvents + textBytes * (7 + VarLenSize(noteTicks));
}

int PlanTextFile(uint64_t textBytes, uint32_t noteTicks, TextFile& file) {
  file.trackLength = TextTrackLength(textBytes, noteTicks);
  if (file.trackLength > MIDIFileWriter::kMaxTrackLength) return EFBIG;
  file.size = MIDIFileWriter::kBytesBeforeTrack + file.trackLength;
  return 0;
}

namespace {

// The events before the first note.
void WriteTrackHead(MIDIFileWriter& writer) {
  writer.WriteTrackName(kTrackName);
  writer.WriteTimeSignature(4, 2, 36, 8);  // 4/4, a click every 36 clocks
  writer.WriteTempo(kBeatsPerMinute);
}

// A note of `noteTicks` for each of `count` units: bytes, or ASCII units.
template <typename Unit>
void WriteTextNotes(MIDIFileWriter& writer, const Unit* units, size_t count, uint32_t noteTicks) {
  writer.WriteNotes(kChannel, units, count, noteTicks, kNoteOnVelocity, kNoteOffVelocity);
}

}  // namespace

void WriteTextTrack(MIDIFileWriter& writer, const QuorbelUTF16Unit* notes, const TextSize& size,
                    uint32_t noteTicks) {
  WriteTrackHead(writer);
  if (size.ascii) {
    WriteTextNotes(writer, notes, size.units, noteTicks);
    return;
  }
  size_t units = size.units;
  uint8_t bytes[kPieceUnits * kMaxBytesPerUTF16Unit];
  for (size_t count; writer.error() == 0 && (count = NextPieceLength(notes, units)) != 0;
       notes += count, units -= count) {
    const size_t converted = ConvertTextPiece(notes, count, bytes);
    WriteTextNotes(writer, bytes, converted, noteTicks);
  }
}

void WriteByteTrack(MIDIFileWriter& writer, const uint8_t* bytes, size_t size,
                    uint32_t noteTicks) {
  WriteTrackHead(writer);
  WriteTextNotes(writer, bytes, size, noteTicks);
}

}  // namespace quorbel
