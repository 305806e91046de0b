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

Bytes TrackOf(const QuorbelUTF16Unit* text, uint32_t noteTicks) {
  MemorySink sink;
  MIDIFileWriter writer(sink, kTicksPerQuarterNote);
  WriteTextTrack(writer, text, noteTicks);
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
  const QuorbelUTF16Unit text[] = {'A', 'B', 0};
  EXPECT_EQ(TrackOf(text, 48), expected);
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

}  // namespace
}  // namespace quorbel::test
