// The writer on its own, through sinks in memory and sinks that fail.
//
// Every writer is told its track length, as WriteMIDI tells it. The tests
// count that length themselves, from the bytes they expect: a writer that
// writes anything else fails with EIO and never hands the whole file on.

#include <gtest/gtest.h>

#include <string>

#include "ExpectedMIDIFile.h"
#include "MIDIFileWriter.h"
#include "TestSinks.h"

namespace quorbel::test {
namespace {

const Bytes kHeaderAndTrackStart = {
    'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 0x60,  // format 0, 1 track, 96
    'M', 'T', 'r', 'k'};

// The end-of-track event with no time before it: the least a track holds.
constexpr uint64_t kEndOfTrackSize = 4;

// The bytes of the track chunk after its length field.
Bytes TrackData(const Bytes& file) {
  return file.size() < 22 ? Bytes{} : Bytes(file.begin() + 22, file.end());
}

// The track data a writer told `trackSize` makes of `write`'s calls once
// finished; nothing where Finish fails.
template <typename Write>
Bytes TrackOf(uint64_t trackSize, Write write) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96, trackSize);
  write(writer);
  return writer.Finish() == 0 ? TrackData(sink.bytes) : Bytes{};
}

// Eight bytes a note: on and off alternate, so running status leaves out
// nothing, and 48 ticks take one byte.
void WriteNotesOneByOne(MIDIFileWriter& writer, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    writer.WriteChannelEvent(0x90, 60, 127);
    writer.AdvanceTime(48);
    writer.WriteChannelEvent(0x80, 60, 0);
  }
}

TEST(WriterFile, FinishedAtOnceIsTheSmallestCompleteFile) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96, kEndOfTrackSize);
  ASSERT_EQ(writer.Finish(), 0);
  Bytes expected = kHeaderAndTrackStart;
  expected.insert(expected.end(), {0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00});
  EXPECT_EQ(sink.bytes, expected);
  EXPECT_EQ(writer.Finish(), 0) << "a second Finish writes nothing more";
  EXPECT_EQ(sink.bytes.size(), 26u);
}

TEST(WriterFile, NothingReachesTheSinkAfterFinish) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96, kEndOfTrackSize);
  ASSERT_EQ(writer.Finish(), 0);
  for (int i = 0; i < 10000; ++i) writer.WriteChannelEvent(0x90, 60, 127);
  writer.WriteTrackName(std::string(2 * MIDIFileWriter::kBufferSize, 'x'));
  const uint8_t notes[] = {1, 2, 3};
  writer.WriteNotes(0, notes, 3, 10, 127, 0);
  // Nor does a call with no encoding change what Finish said of the file.
  writer.AdvanceTime(MIDIFileWriter::kMaxVarLen);
  writer.AdvanceTime(MIDIFileWriter::kMaxVarLen);
  writer.WriteNotes(0, notes, 3, MIDIFileWriter::kMaxVarLen + 1, 127, 0);
  EXPECT_EQ(writer.Finish(), 0);
  EXPECT_EQ(sink.bytes.size(), 26u);
}

// A track that fits the buffer leaves in one write, its length in place.
TEST(WriterFile, SmallTrackLeavesInOneWrite) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96, 11 + kEndOfTrackSize);
  writer.WriteTrackName("track 1");
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_EQ(sink.writes, 1);
  EXPECT_EQ(TrackLengthField(sink.bytes), 15u);
  EXPECT_EQ(sink.bytes.size(), 22u + 15);
}

// The length goes out with the header, and the track must come to exactly
// that: a file with a wrong length never leaves whole, and nothing past the
// length reaches the sink.
TEST(WriterFile, TheLengthGoesOutFirstAndIsHeldToTheTrack) {
  constexpr uint64_t kTrack = 10000 * 8 + kEndOfTrackSize;
  for (const uint64_t length : {kTrack, kTrack - 1, kTrack + 1, kTrack - 8, uint64_t{0}}) {
    MemorySink sink;
    MIDIFileWriter writer(sink, 96, length);
    WriteNotesOneByOne(writer, 10000);
    EXPECT_EQ(writer.Finish(), length == kTrack ? 0 : EIO) << length;
    EXPECT_LE(sink.bytes.size(), 22 + length) << length;
    if (length != kTrack) continue;
    EXPECT_GT(sink.writes, 1) << "longer than the buffer";
    ASSERT_EQ(sink.bytes.size(), 22 + kTrack);
    EXPECT_EQ(TrackLengthField(sink.bytes), kTrack);
    EXPECT_EQ(TrackData(sink.bytes)[4], 0x30);  // the note off's delta time
  }
}

// A length the field cannot hold is refused before anything leaves,
// rather than written as its low 32 bits.
TEST(WriterFile, ALengthPastTheFieldFailsAtOnce) {
  for (const uint64_t length : {MIDIFileWriter::kMaxTrackLength + 1,
                                (uint64_t{1} << 32) + kEndOfTrackSize, uint64_t{UINT64_MAX}}) {
    MemorySink sink;
    MIDIFileWriter writer(sink, 96, length);
    EXPECT_EQ(writer.error(), EFBIG) << length;
    EXPECT_EQ(writer.Finish(), EFBIG) << length;
    EXPECT_TRUE(sink.bytes.empty()) << length;
  }
}

TEST(WriterFile, DivisionIsWrittenBigEndian) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 0x1234, kEndOfTrackSize);
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_EQ(sink.bytes[12], 0x12);
  EXPECT_EQ(sink.bytes[13], 0x34);
}

struct VarLenCase {
  uint32_t ticks;
  Bytes encoded;
};

TEST(WriterDeltaTime, EncodesEveryLengthBoundary) {
  const VarLenCase cases[] = {
      {0, {0x00}},
      {0x7F, {0x7F}},
      {0x80, {0x81, 0x00}},
      {200, {0x81, 0x48}},
      {0x3FFF, {0xFF, 0x7F}},
      {0x4000, {0x81, 0x80, 0x00}},
      {0x1FFFFF, {0xFF, 0xFF, 0x7F}},
      {0x200000, {0x81, 0x80, 0x80, 0x00}},
      {0x0FFFFFFF, {0xFF, 0xFF, 0xFF, 0x7F}},
  };
  for (const VarLenCase& c : cases) {
    Bytes expected = c.encoded;
    expected.insert(expected.end(), {0xFF, 0x2F, 0x00});
    EXPECT_EQ(TrackOf(expected.size(), [&](MIDIFileWriter& writer) {
      // Pending ticks before Finish become the end of track's delta time.
      writer.AdvanceTime(c.ticks);
    }), expected) << "ticks " << c.ticks;
  }
}

TEST(WriterDeltaTime, AccumulatesUntilTheNextEventAndThenStartsAgain) {
  const Bytes expected = {0x81, 0x48, 0x90, 1, 2, 0x00, 0x80, 1, 0, 0x00, 0xFF, 0x2F, 0};
  EXPECT_EQ(TrackOf(expected.size(), [&](MIDIFileWriter& writer) {
    writer.AdvanceTime(100);
    writer.AdvanceTime(100);
    writer.WriteChannelEvent(0x90, 1, 2);
    writer.WriteChannelEvent(0x80, 1, 0);
  }), expected);
}

TEST(WriterDeltaTime, TicksBeyondTheLargestDeltaFailTheWriter) {
  for (const uint32_t second : {1u, 0xFFFFFFFFu}) {  // too many, "negative"
    MemorySink sink;
    // The length the track would have with the largest delta time.
    MIDIFileWriter writer(sink, 96, 4 + 3 + kEndOfTrackSize);
    writer.AdvanceTime(0x0FFFFFFF);
    writer.AdvanceTime(second);
    writer.WriteChannelEvent(0x90, 1, 2);
    EXPECT_EQ(writer.Finish(), EOVERFLOW) << second;
    EXPECT_TRUE(sink.bytes.empty()) << "a failed writer hands nothing on";
  }
}

TEST(WriterRunningStatus, OnlyARepeatedChannelStatusIsLeftOut) {
  const Bytes expected = {0, 0x90, 60, 100, 0, 64, 100, 0, 0x80, 60, 0, 0, 0x90, 67,
                          100, 0, 0xFF, 0x2F, 0};
  EXPECT_EQ(TrackOf(expected.size(), [&](MIDIFileWriter& writer) {
    writer.WriteChannelEvent(0x90, 60, 100);
    writer.WriteChannelEvent(0x90, 64, 100);  // repeats: no status byte
    writer.WriteChannelEvent(0x80, 60, 0);    // differs: status byte
    writer.WriteChannelEvent(0x90, 67, 100);
  }), expected);
}

TEST(WriterRunningStatus, AMetaEventEndsRunningStatus) {
  const Bytes expected = {0, 0x90, 60, 100,                    //
                          0, 0xFF, 0x51, 3, 0x3D, 0x09, 0x00,  //
                          0, 0x90, 60, 100,                    //
                          0, 0xFF, 0x58, 4, 4, 2, 36, 8,       //
                          0, 0x90, 60, 100,                    //
                          0, 0xFF, 0x03, 0,                    //
                          0, 0x90, 60, 100,                    //
                          0, 0xFF, 0x2F, 0};
  EXPECT_EQ(TrackOf(expected.size(), [&](MIDIFileWriter& writer) {
    writer.WriteChannelEvent(0x90, 60, 100);
    writer.WriteTempo(15);
    writer.WriteChannelEvent(0x90, 60, 100);
    writer.WriteTimeSignature(4, 2, 36, 8);
    writer.WriteChannelEvent(0x90, 60, 100);
    writer.WriteTrackName("");
    writer.WriteChannelEvent(0x90, 60, 100);
  }), expected);
}

TEST(WriterChannelEvents, DataBytesNeverLookLikeAStatus) {
  const Bytes expected = {0, 0x90, 0x41, 0x7F, 0, 0xFF, 0x2F, 0};
  EXPECT_EQ(TrackOf(expected.size(), [&](MIDIFileWriter& writer) {
    writer.WriteChannelEvent(0x90, 0xC1, 0xFF);
  }), expected);
}

TEST(WriterChannelEvents, StatusOutsideChannelMessagesWritesNothingAndKeepsTime) {
  const Bytes expected = {5, 0x91, 1, 2, 0, 0xFF, 0x2F, 0};
  EXPECT_EQ(TrackOf(expected.size(), [&](MIDIFileWriter& writer) {
    writer.AdvanceTime(5);
    writer.WriteChannelEvent(0x7F, 1, 2);
    writer.WriteChannelEvent(0xF0, 1, 2);
    writer.WriteChannelEvent(0xFF, 1, 2);
    writer.WriteChannelEvent(0x91, 1, 2);
  }), expected);
}

TEST(WriterChannelEvents, ProgramChangeAndChannelPressureCarryOneDataByte) {
  const Bytes expected = {0, 0xC0, 5, 0, 0xD3, 40, 0, 0xDF, 7, 0, 0xEF, 0, 64, 0, 0xFF, 0x2F, 0};
  EXPECT_EQ(TrackOf(expected.size(), [&](MIDIFileWriter& writer) {
    writer.WriteChannelEvent(0xC0, 5, 99);
    writer.WriteChannelEvent(0xD3, 40, 99);
    writer.WriteChannelEvent(0xDF, 7, 99);  // the top of the one-byte range
    writer.WriteChannelEvent(0xEF, 0, 64);
  }), expected);
}

TEST(WriterMetaEvents, TempoIsMicrosecondsPerQuarterInTwentyFourBits) {
  const struct {
    int32_t beatsPerMinute;
    Bytes tempo;
  } cases[] = {
      {15, {0x3D, 0x09, 0x00}},   // 4000000
      {120, {0x07, 0xA1, 0x20}},  // 500000
      {4, {0xE4, 0xE1, 0xC0}},    // 15000000, the slowest that fits
      {7, {0x82, 0xCA, 0x24}},    // 8571428, truncated
      {3, {0xFF, 0xFF, 0xFF}},    // would need 25 bits
      {0, {0xFF, 0xFF, 0xFF}},    // no division by zero
      {-60, {0xFF, 0xFF, 0xFF}},
  };
  for (const auto& c : cases) {
    Bytes expected = {0, 0xFF, 0x51, 3};
    expected.insert(expected.end(), c.tempo.begin(), c.tempo.end());
    expected.insert(expected.end(), {0, 0xFF, 0x2F, 0});
    EXPECT_EQ(TrackOf(expected.size(), [&](MIDIFileWriter& writer) {
      writer.WriteTempo(c.beatsPerMinute);
    }), expected) << c.beatsPerMinute;
  }
}

TEST(WriterMetaEvents, TextEventsCarryTheirLengthAndEveryByte) {
  Bytes expected = {0, 0xFF, 0x02, 3, '(', 'c', ')', 0, 0xFF, 0x03, 0x81, 0x48};
  expected.insert(expected.end(), 200, 0x80);
  expected.insert(expected.end(), {0, 0xFF, 0x2F, 0});
  EXPECT_EQ(TrackOf(expected.size(), [&](MIDIFileWriter& writer) {
    writer.WriteCopyright("(c)");
    writer.WriteTrackName(std::string(200, '\x80'));  // bytes above 0x7F stay
  }), expected);
}

TEST(WriterMetaEvents, TextLongerThanTheBufferArrivesWhole) {
  std::string text(3 * MIDIFileWriter::kBufferSize + 7, 'x');
  text.back() = 'y';
  // Delta time, FF 03, and a length of three bytes.
  MemorySink sink;
  MIDIFileWriter writer(sink, 96, 6 + text.size() + kEndOfTrackSize);
  writer.WriteTrackName(text);
  ASSERT_EQ(writer.Finish(), 0);
  ASSERT_EQ(sink.bytes.size(), 22u + 1 + 2 + 3 + text.size() + 4);
  EXPECT_EQ(std::string(sink.bytes.begin() + 28, sink.bytes.end() - 4), text);
  EXPECT_EQ(TrackLengthField(sink.bytes), 6 + text.size() + 4);
}

// Every write may fail: the writer then keeps the first error, sends
// nothing more, and Finish reports it, then and every time after.
TEST(WriterFailures, AFailedWriteIsReportedAndNothingFollowsIt) {
  // Two buffers and a half, which leave in three writes, the last from
  // Finish.
  constexpr int kWrites = 3;
  constexpr size_t kNotes = (kWrites - 1) * MIDIFileWriter::kBufferSize / 8 +
                            MIDIFileWriter::kBufferSize / 16;
  constexpr uint64_t kTrack = kNotes * 8 + kEndOfTrackSize;
  {
    FailingSink sink;  // failing nowhere: so many writes there are to fail
    MIDIFileWriter writer(sink, 96, kTrack);
    WriteNotesOneByOne(writer, kNotes);
    ASSERT_EQ(writer.Finish(), 0);
    ASSERT_EQ(sink.writes, kWrites);
  }
  for (int failAt = 1; failAt <= kWrites; ++failAt) {
    FailingSink sink;
    sink.failAtWrite = failAt;
    sink.error = ENOSPC;
    MIDIFileWriter writer(sink, 96, kTrack);
    WriteNotesOneByOne(writer, kNotes);
    EXPECT_EQ(writer.Finish(), ENOSPC) << "failing write " << failAt;
    EXPECT_EQ(writer.error(), ENOSPC);
    EXPECT_EQ(writer.Finish(), ENOSPC) << "the error stays";
    EXPECT_EQ(sink.callsAfterFailure, 0) << "failing write " << failAt;
  }
}

TEST(WriterFailures, TheFirstErrorIsTheOneReported) {
  FailingSink sink;
  sink.failAtWrite = 1;
  sink.error = ENOSPC;
  const std::string text(MIDIFileWriter::kBufferSize, 'x');
  MIDIFileWriter writer(sink, 96, 6 + text.size() + kEndOfTrackSize);
  writer.WriteTrackName(text);
  writer.AdvanceTime(0x0FFFFFFF);
  writer.AdvanceTime(0x0FFFFFFF);
  EXPECT_EQ(writer.Finish(), ENOSPC);
}

// The longest track there is, and then more: the bytes past 4 GiB must
// not count from zero again and slip past the length.
TEST(WriterLimits, ATrackPastFourGibibytesFailsInsteadOfWrappingItsLength) {
  const std::string text(MIDIFileWriter::kMaxVarLen + 1, 't');
  {
    CountingSink sink;
    // Delta time, FF 03, a length of four bytes, the text.
    MIDIFileWriter writer(sink, 96, 7 + text.size() + kEndOfTrackSize);
    writer.WriteTrackName(text);  // one byte more than a length can say
    EXPECT_EQ(writer.Finish(), EOVERFLOW);
    EXPECT_EQ(sink.size_, 0u);
  }
  CountingSink sink;
  MIDIFileWriter writer(sink, 96, MIDIFileWriter::kMaxTrackLength);
  const std::string_view longest(text.data(), MIDIFileWriter::kMaxVarLen);
  for (int i = 0; i < 15; ++i) writer.WriteTrackName(longest);
  ASSERT_EQ(writer.error(), 0) << "15 of them still fit";
  writer.WriteTrackName(longest);
  writer.WriteTrackName(longest);  // nothing of this one may leave either
  EXPECT_EQ(writer.Finish(), EIO);
  EXPECT_LE(sink.size_, 22 + MIDIFileWriter::kMaxTrackLength);
}

}  // namespace
}  // namespace quorbel::test

namespace quorbel::test {
namespace {

// The track of NotesOneEventAtATime, counted from the format: each note is
// a delta time of one byte, a note on, the note's length, a note off; the
// first note on goes without its status after one that is the same.
uint64_t NotesTrackLength(uint8_t statusBefore, size_t count, uint32_t ticks) {
  uint64_t length = (statusBefore != 0 ? 4 : 0) + kEndOfTrackSize;
  length += count * (7 + VariableLength(ticks).size());
  if (count > 0 && statusBefore == 0x95) --length;
  return length;
}

// WriteNotes is the fast road to the bytes that the single events give.
Bytes NotesOneEventAtATime(uint32_t pendingBefore, uint8_t statusBefore,
                           const Bytes& notes, uint32_t ticks) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96, NotesTrackLength(statusBefore, notes.size(), ticks));
  if (statusBefore != 0) writer.WriteChannelEvent(statusBefore, 1, 1);
  writer.AdvanceTime(pendingBefore);
  for (const uint8_t note : notes) {
    writer.WriteChannelEvent(0x95, note, 0xFF);
    writer.AdvanceTime(ticks);
    writer.WriteChannelEvent(0x85, note, 0x40);
  }
  EXPECT_EQ(writer.Finish(), 0);
  return sink.bytes;
}

TEST(WriterNotes, ManyNotesAtOnceEqualTheirEventsOneByOne) {
  Bytes notes(5000);
  for (size_t i = 0; i < notes.size(); ++i) notes[i] = static_cast<uint8_t>(i * 7);
  for (const uint32_t ticks : {0u, 127u, 128u, 0x3FFFu, 0x4000u, 0x0FFFFFFFu}) {
    for (const uint8_t statusBefore : {0x00, 0x95, 0x85}) {
      for (const size_t count : {size_t{0}, size_t{1}, size_t{2}, notes.size()}) {
        const Bytes some(notes.begin(), notes.begin() + count);
        MemorySink sink;
        MIDIFileWriter writer(sink, 96, NotesTrackLength(statusBefore, count, ticks));
        if (statusBefore != 0) writer.WriteChannelEvent(statusBefore, 1, 1);
        writer.AdvanceTime(3);
        writer.WriteNotes(5, some.data(), some.size(), ticks, 0xFF, 0x40);
        ASSERT_EQ(writer.Finish(), 0);
        ASSERT_EQ(sink.bytes, NotesOneEventAtATime(3, statusBefore, some, ticks))
            << "ticks " << ticks << ", status before " << int(statusBefore)
            << ", " << count << " notes";
      }
    }
  }
}

TEST(WriterNotes, ANoteLengthWithNoEncodingFailsTheWriter) {
  MemorySink sink;
  // The length the notes would have with five bytes for their length.
  MIDIFileWriter writer(sink, 96, 2 * (7 + 5) + kEndOfTrackSize);
  const uint8_t notes[] = {60, 62};
  writer.WriteNotes(0, notes, 2, 0x10000000, 127, 0);
  EXPECT_EQ(writer.Finish(), EOVERFLOW);
  EXPECT_TRUE(sink.bytes.empty());
}

TEST(WriterNotes, AFailureMidwayStopsTheRun) {
  FailingSink sink;
  sink.failAtWrite = 2;
  sink.error = ENOSPC;
  const Bytes notes(100000, 60);
  MIDIFileWriter writer(sink, 96, notes.size() * 8 + kEndOfTrackSize);
  writer.WriteNotes(0, notes.data(), notes.size(), 48, 127, 0);
  EXPECT_EQ(writer.Finish(), ENOSPC);
  EXPECT_EQ(sink.callsAfterFailure, 0);
}

}  // namespace
}  // namespace quorbel::test
