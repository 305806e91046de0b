// The track of a text, in memory: its fixed events and its notes, and the
// pieces the text is converted in.

#include <gtest/gtest.h>

#include <iterator>
#include <string>

#include "TestSinks.h"
#include "TextConversion.h"
#include "TextTrack.h"
#include "DocumentedExample.h"

namespace quorbel::test {
namespace {

// The length announced is the library's own count, as WriteMIDI takes it;
// the writer holds the track to it, so a count and a track that disagree
// fail here.
Bytes TrackOf(const QuorbelUTF16Unit* text, uint32_t noteTicks) {
  const TextSize size = MeasureText(text);
  MemorySink sink;
  MIDIFileWriter writer(sink, kTicksPerQuarterNote, TextTrackLength(size.bytes, noteTicks));
  WriteTextTrack(writer, text, size, noteTicks);
  EXPECT_EQ(writer.Finish(), 0);
  return sink.bytes;
}

// The note numbers of a track whose notes have a one-byte delta time.
Bytes NotesOf(const Bytes& track) {
  Bytes notes;
  for (size_t at = 48 + 2; at + 6 < track.size(); at += 8) notes.push_back(track[at]);
  return notes;
}

TEST(TextTrack, WritesTheDocumentedBytes) {
  const Bytes expected(std::begin(kDocumentedExample), std::end(kDocumentedExample));
  EXPECT_EQ(TrackOf(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS), expected);
}

// The web build lends the writer the file's own memory, its size and the
// room to spare: that goes out in one write, at the end, or the writer
// would have gone back to the start of the file and written over it.
TEST(TextTrack, AFileSizedBufferGoesOutInOneWrite) {
  const std::basic_string<QuorbelUTF16Unit> text(5000, 'a');
  for (const uint32_t ticks : {0u, 127u, 128u, uint32_t(QUORBEL_MAX_NOTE_TICKS)}) {
    const uint64_t track = TextTrackLength(text.size(), ticks);
    Bytes lent(MIDIFileWriter::kBytesBeforeTrack + track + MIDIFileWriter::kRoomToSpare);
    MemorySink sink;
    MIDIFileWriter writer(sink, kTicksPerQuarterNote, track, lent.data(), lent.size());
    WriteTextTrack(writer, text.c_str(), MeasureText(text.c_str()), ticks);
    ASSERT_EQ(writer.Finish(), 0);
    EXPECT_EQ(sink.writes, 1) << ticks;
  }
}

// Text all in ASCII becomes notes where it lies, sixteen units at a time
// where the processor can: every value, every length of the last group.
TEST(TextTrack, ATextAllInASCIIIsItsOwnNotes) {
  for (const size_t length : {1u, 15u, 16u, 17u, 31u, 1000u}) {
    std::basic_string<QuorbelUTF16Unit> text;
    Bytes expected;
    for (size_t i = 0; i < length; ++i) {
      expected.push_back(static_cast<uint8_t>(1 + (i * 37) % 127));
      text.push_back(expected.back());
    }
    ASSERT_TRUE(MeasureText(text.c_str()).ascii);
    EXPECT_EQ(NotesOf(TrackOf(text.c_str(), 1)), expected) << length;
  }
}

TEST(TextTrack, NoTextIsTheEmptyText) {
  const QuorbelUTF16Unit empty[] = {0};
  const Bytes track = TrackOf(empty, 48);
  EXPECT_EQ(track.size(), 52u);
  EXPECT_EQ(TrackOf(nullptr, 48), track);
}

// The text goes to the converter in pieces; wherever a piece ends, the
// notes are those of the text converted whole, and a surrogate pair is
// never cut in two.
TEST(TextTrack, PiecesGiveTheNotesOfTheWholeText) {
  for (const size_t before : {510u, 511u, 512u, 1023u, 1024u}) {
    std::basic_string<QuorbelUTF16Unit> text(before, 'a');
    text += {0xD83D, 0xDE00, 0x00E9, 'z'};  // U+1F600, U+00E9
    Bytes whole(text.size() * kMaxBytesPerUTF16Unit);
    whole.resize(ConvertTextPiece(text.data(), text.size(), whole.data()));
    for (uint8_t& byte : whole) byte &= 0x7F;
    EXPECT_EQ(NotesOf(TrackOf(text.c_str(), 1)), whole) << before;
  }
}

// The count that comes before the write, against the conversion itself, on
// texts that put every kind of unit, and pairs, at every offset of its
// eight-unit steps and its pieces.
TEST(TextTrack, TheCountAgreesWithTheConversion) {
  const QuorbelUTF16Unit kinds[][2] = {{'a', 0}, {0x00E9, 0}, {0x4E2D, 0}, {0xD83D, 0xDE00},
                                       {0xD800, 0}, {0xDC00, 0}, {0x007F, 0}, {0x0080, 0}};
  uint32_t state = 12345;
  for (int round = 0; round < 300; ++round) {
    std::basic_string<QuorbelUTF16Unit> text;
    const size_t length = (state = state * 1103515245 + 12345) % 1200;
    const uint32_t asciiOdds = 2 + round % 100;  // runs of ASCII short and long
    while (text.size() < length) {
      state = state * 1103515245 + 12345;
      const auto& kind = kinds[(state >> 16) % (state % asciiOdds == 0 ? 8 : 1)];
      text += kind[0];
      if (kind[1] != 0) text += kind[1];
    }
    Bytes whole(text.size() * kMaxBytesPerUTF16Unit);
    const size_t bytes = ConvertTextPiece(text.data(), text.size(), whole.data());
    // At every alignment of a 32-byte block, which the vector scan reads.
    std::basic_string<QuorbelUTF16Unit> room(16, 'x');
    room += text;
    for (size_t offset = 0; offset < 16; ++offset) {
      const TextSize size = MeasureText(room.c_str() + 16 - offset);
      EXPECT_EQ(size.units, text.size() + offset) << round;
      EXPECT_EQ(size.bytes, bytes + offset) << round;
    }
  }
}

}  // namespace
}  // namespace quorbel::test
