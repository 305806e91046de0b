// The writer on its own, through sinks in memory and sinks that fail.

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

// The bytes of the track chunk after its length field.
Bytes TrackData(const Bytes& file) {
  return file.size() < 22 ? Bytes{} : Bytes(file.begin() + 22, file.end());
}

TEST(WriterFile, FinishedAtOnceIsTheSmallestCompleteFile) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  ASSERT_EQ(writer.Finish(), 0);
  Bytes expected = kHeaderAndTrackStart;
  expected.insert(expected.end(), {0, 0, 0, 4, 0x00, 0xFF, 0x2F, 0x00});
  EXPECT_EQ(sink.bytes, expected);
  EXPECT_EQ(writer.Finish(), 0) << "a second Finish writes nothing more";
  EXPECT_EQ(sink.bytes.size(), 26u);
}

TEST(WriterFile, NothingReachesTheSinkAfterFinish) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  ASSERT_EQ(writer.Finish(), 0);
  for (int i = 0; i < 10000; ++i) writer.WriteChannelEvent(0x90, 60, 127);
  writer.WriteTrackName(std::string(2 * MIDIFileWriter::kBufferSize, 'x'));
  const uint8_t notes[] = {1, 2, 3};
  writer.WriteNotes(0, notes, 3, 10, 127, 0);
  EXPECT_EQ(writer.Finish(), 0);
  EXPECT_EQ(sink.bytes.size(), 26u);
}

// Undeclared, a track that fits the buffer needs no going back, so a sink
// that cannot seek takes it.
TEST(WriterFile, SmallTrackLeavesInOneWriteWithItsLengthInPlace) {
  MemorySink sink;
  sink.seekable = false;
  MIDIFileWriter writer(sink, 96);
  writer.WriteTrackName("track 1");
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_EQ(sink.writes, 1);
  EXPECT_EQ(sink.patches, 0);
  EXPECT_EQ(TrackLengthField(sink.bytes), 15u);
}

TEST(WriterFile, LongTrackIsPatchedWithTheLengthThatFollowsTheField) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  for (int i = 0; i < 10000; ++i) {
    writer.WriteChannelEvent(0x90, 60, 127);
    writer.AdvanceTime(48);
    writer.WriteChannelEvent(0x80, 60, 0);
  }
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_GT(sink.writes, 1);
  EXPECT_EQ(sink.patches, 1);
  ASSERT_EQ(sink.bytes.size(), 22u + 10000 * 8 + 4);
  EXPECT_EQ(TrackLengthField(sink.bytes), 10000u * 8 + 4);
  EXPECT_EQ(TrackData(sink.bytes)[4], 0x30);  // the note off's delta time
}

// A declared length goes out with the header, and the track must come to
// exactly that: a file with a wrong length never leaves whole, and nothing
// past the declared length reaches the sink.
TEST(WriterFile, ADeclaredLengthGoesOutFirstAndIsHeldToTheTrack) {
  const auto writeNotes = [](MIDIFileWriter& writer, int count) {
    for (int i = 0; i < count; ++i) {
      writer.WriteChannelEvent(0x90, 60, 127);
      writer.AdvanceTime(48);
      writer.WriteChannelEvent(0x80, 60, 0);
    }
  };
  for (const uint64_t declared : {10000u * 8 + 4, 10000u * 8 + 3, 10000u * 8 + 5}) {
    MemorySink sink;
    sink.seekable = false;
    MIDIFileWriter writer(sink, 96, declared);
    writeNotes(writer, 10000);
    const bool right = declared == 10000u * 8 + 4;
    EXPECT_EQ(writer.Finish(), right ? 0 : EIO) << declared;
    EXPECT_EQ(sink.patches, 0);
    EXPECT_LE(sink.bytes.size(), 22 + declared);
    if (right) {
      EXPECT_EQ(TrackLengthField(sink.bytes), declared);
    }
  }
  MemorySink tooLong;
  MIDIFileWriter beyond(tooLong, 96, MIDIFileWriter::kMaxTrackLength + 1);
  EXPECT_EQ(beyond.Finish(), EFBIG);
  EXPECT_TRUE(tooLong.bytes.empty());

  // Undeclared, a track longer than the buffer needs to go back: on a sink
  // that cannot, nothing leaves at all.
  MemorySink pipe;
  pipe.seekable = false;
  MIDIFileWriter undeclared(pipe, 96);
  writeNotes(undeclared, 10000);
  EXPECT_EQ(undeclared.Finish(), ESPIPE);
  EXPECT_TRUE(pipe.bytes.empty());
}

TEST(WriterFile, DivisionIsWrittenBigEndian) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 0x1234);
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
    MemorySink sink;
    MIDIFileWriter writer(sink, 96);
    // Pending ticks before Finish become the end of track's delta time.
    writer.AdvanceTime(c.ticks);
    ASSERT_EQ(writer.Finish(), 0) << c.ticks;
    Bytes expected = c.encoded;
    expected.insert(expected.end(), {0xFF, 0x2F, 0x00});
    EXPECT_EQ(TrackData(sink.bytes), expected) << "ticks " << c.ticks;
  }
}

TEST(WriterDeltaTime, AccumulatesUntilTheNextEventAndThenStartsAgain) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  writer.AdvanceTime(100);
  writer.AdvanceTime(100);
  writer.WriteChannelEvent(0x90, 1, 2);
  writer.WriteChannelEvent(0x80, 1, 0);
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_EQ(TrackData(sink.bytes),
            (Bytes{0x81, 0x48, 0x90, 1, 2, 0x00, 0x80, 1, 0, 0x00, 0xFF, 0x2F, 0}));
}

TEST(WriterDeltaTime, TicksBeyondTheLargestDeltaFailTheWriter) {
  for (const uint32_t second : {1u, 0xFFFFFFFFu}) {  // too many, "negative"
    MemorySink sink;
    MIDIFileWriter writer(sink, 96);
    writer.AdvanceTime(0x0FFFFFFF);
    writer.AdvanceTime(second);
    writer.WriteChannelEvent(0x90, 1, 2);
    EXPECT_EQ(writer.Finish(), EOVERFLOW) << second;
    EXPECT_TRUE(sink.bytes.empty()) << "a failed writer hands nothing on";
  }
}

TEST(WriterRunningStatus, OnlyARepeatedChannelStatusIsLeftOut) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  writer.WriteChannelEvent(0x90, 60, 100);
  writer.WriteChannelEvent(0x90, 64, 100);  // repeats: no status byte
  writer.WriteChannelEvent(0x80, 60, 0);    // differs: status byte
  writer.WriteChannelEvent(0x90, 67, 100);
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_EQ(TrackData(sink.bytes),
            (Bytes{0, 0x90, 60, 100, 0, 64, 100, 0, 0x80, 60, 0, 0, 0x90, 67,
                   100, 0, 0xFF, 0x2F, 0}));
}

TEST(WriterRunningStatus, AMetaEventEndsRunningStatus) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  writer.WriteChannelEvent(0x90, 60, 100);
  writer.WriteTempo(15);
  writer.WriteChannelEvent(0x90, 60, 100);
  writer.WriteTimeSignature(4, 2, 36, 8);
  writer.WriteChannelEvent(0x90, 60, 100);
  writer.WriteTrackName("");
  writer.WriteChannelEvent(0x90, 60, 100);
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_EQ(TrackData(sink.bytes),
            (Bytes{0, 0x90, 60, 100,                    //
                   0, 0xFF, 0x51, 3, 0x3D, 0x09, 0x00,  //
                   0, 0x90, 60, 100,                    //
                   0, 0xFF, 0x58, 4, 4, 2, 36, 8,       //
                   0, 0x90, 60, 100,                    //
                   0, 0xFF, 0x03, 0,                    //
                   0, 0x90, 60, 100,                    //
                   0, 0xFF, 0x2F, 0}));
}

TEST(WriterChannelEvents, DataBytesNeverLookLikeAStatus) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  writer.WriteChannelEvent(0x90, 0xC1, 0xFF);
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_EQ(TrackData(sink.bytes), (Bytes{0, 0x90, 0x41, 0x7F, 0, 0xFF, 0x2F, 0}));
}

TEST(WriterChannelEvents, StatusOutsideChannelMessagesWritesNothingAndKeepsTime) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  writer.AdvanceTime(5);
  writer.WriteChannelEvent(0x7F, 1, 2);
  writer.WriteChannelEvent(0xF0, 1, 2);
  writer.WriteChannelEvent(0xFF, 1, 2);
  writer.WriteChannelEvent(0x91, 1, 2);
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_EQ(TrackData(sink.bytes), (Bytes{5, 0x91, 1, 2, 0, 0xFF, 0x2F, 0}));
}

TEST(WriterChannelEvents, ProgramChangeAndChannelPressureCarryOneDataByte) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  writer.WriteChannelEvent(0xC0, 5, 99);
  writer.WriteChannelEvent(0xD3, 40, 99);
  writer.WriteChannelEvent(0xDF, 7, 99);  // the top of the one-byte range
  writer.WriteChannelEvent(0xEF, 0, 64);
  ASSERT_EQ(writer.Finish(), 0);
  EXPECT_EQ(TrackData(sink.bytes),
            (Bytes{0, 0xC0, 5, 0, 0xD3, 40, 0, 0xDF, 7, 0, 0xEF, 0, 64, 0, 0xFF, 0x2F, 0}));
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
    MemorySink sink;
    MIDIFileWriter writer(sink, 96);
    writer.WriteTempo(c.beatsPerMinute);
    ASSERT_EQ(writer.Finish(), 0);
    Bytes expected = {0, 0xFF, 0x51, 3};
    expected.insert(expected.end(), c.tempo.begin(), c.tempo.end());
    expected.insert(expected.end(), {0, 0xFF, 0x2F, 0});
    EXPECT_EQ(TrackData(sink.bytes), expected) << c.beatsPerMinute;
  }
}

TEST(WriterMetaEvents, TextEventsCarryTheirLengthAndEveryByte) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  writer.WriteCopyright("(c)");
  writer.WriteTrackName(std::string(200, '\x80'));  // bytes above 0x7F stay
  ASSERT_EQ(writer.Finish(), 0);
  Bytes expected = {0, 0xFF, 0x02, 3, '(', 'c', ')', 0, 0xFF, 0x03, 0x81, 0x48};
  expected.insert(expected.end(), 200, 0x80);
  expected.insert(expected.end(), {0, 0xFF, 0x2F, 0});
  EXPECT_EQ(TrackData(sink.bytes), expected);
}

TEST(WriterMetaEvents, TextLongerThanTheBufferArrivesWhole) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
  std::string text(3 * MIDIFileWriter::kBufferSize + 7, 'x');
  text.back() = 'y';
  writer.WriteTrackName(text);
  ASSERT_EQ(writer.Finish(), 0);
  ASSERT_EQ(sink.bytes.size(), 22u + 1 + 2 + 3 + text.size() + 4);
  EXPECT_EQ(std::string(sink.bytes.begin() + 28, sink.bytes.end() - 4), text);
  EXPECT_EQ(TrackLengthField(sink.bytes), 6 + text.size() + 4);
}

// Every write, and the length patch, may fail: the writer then keeps the
// first error, sends nothing more, and Finish reports it.
TEST(WriterFailures, AFailedWriteIsReportedAndNothingFollowsIt) {
  // Eight bytes a note (on and off alternate: no running status), for two
  // buffers and a half, which leave in three writes, the last from Finish.
  constexpr int kWrites = 3;
  constexpr size_t kNotes = (kWrites - 1) * MIDIFileWriter::kBufferSize / 8 +
                            MIDIFileWriter::kBufferSize / 16;
  for (int failAt = 1; failAt <= kWrites; ++failAt) {
    FailingSink sink;
    sink.failAtWrite = failAt;
    sink.error = ENOSPC;
    MIDIFileWriter writer(sink, 96);
    for (size_t i = 0; i < kNotes; ++i) {
      writer.WriteChannelEvent(0x90, 60, 127);
      writer.AdvanceTime(48);
      writer.WriteChannelEvent(0x80, 60, 0);
    }
    EXPECT_EQ(writer.Finish(), ENOSPC) << "failing write " << failAt;
    EXPECT_EQ(writer.error(), ENOSPC);
    EXPECT_EQ(sink.callsAfterFailure, 0) << "failing write " << failAt;
  }
}

TEST(WriterFailures, AFailedLengthPatchIsReported) {
  FailingSink sink;
  sink.failPatch = true;
  MIDIFileWriter writer(sink, 96);
  writer.WriteTrackName(std::string(MIDIFileWriter::kBufferSize, 'x'));
  EXPECT_EQ(writer.Finish(), EIO);
  EXPECT_EQ(writer.Finish(), EIO) << "the error stays";
}

TEST(WriterFailures, TheFirstErrorIsTheOneReported) {
  FailingSink sink;
  sink.failAtWrite = 1;
  MIDIFileWriter writer(sink, 96);
  writer.WriteTrackName(std::string(MIDIFileWriter::kBufferSize, 'x'));
  writer.AdvanceTime(0x0FFFFFFF);
  writer.AdvanceTime(0x0FFFFFFF);
  EXPECT_EQ(writer.Finish(), EIO);
}

TEST(WriterLimits, ATrackPastFourGibibytesFailsInsteadOfWrappingItsLength) {
  const std::string text(MIDIFileWriter::kMaxVarLen + 1, 't');
  {
    CountingSink sink;
    MIDIFileWriter writer(sink, 96);
    writer.WriteTrackName(text);  // one byte more than a length can say
    EXPECT_EQ(writer.Finish(), EOVERFLOW);
    EXPECT_EQ(sink.size_, 0u);
  }
  CountingSink sink;
  MIDIFileWriter writer(sink, 96);
  const std::string_view longest(text.data(), MIDIFileWriter::kMaxVarLen);
  for (int i = 0; i < 15; ++i) writer.WriteTrackName(longest);
  ASSERT_EQ(writer.error(), 0) << "15 of them still fit";
  writer.WriteTrackName(longest);
  writer.WriteTrackName(longest);  // nothing of this one may leave either
  EXPECT_EQ(writer.Finish(), EFBIG);
  EXPECT_LE(sink.size_, 22 + MIDIFileWriter::kMaxTrackLength);
}

}  // namespace
}  // namespace quorbel::test

namespace quorbel::test {
namespace {

// WriteNotes is the fast road to the bytes that the single events give.
Bytes NotesOneEventAtATime(uint32_t pendingBefore, uint8_t statusBefore,
                           const Bytes& notes, uint32_t ticks) {
  MemorySink sink;
  MIDIFileWriter writer(sink, 96);
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
        MIDIFileWriter writer(sink, 96);
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
  MIDIFileWriter writer(sink, 96);
  const uint8_t notes[] = {60, 62};
  writer.WriteNotes(0, notes, 2, 0x10000000, 127, 0);
  EXPECT_EQ(writer.Finish(), EOVERFLOW);
  EXPECT_TRUE(sink.bytes.empty());
}

TEST(WriterNotes, AFailureMidwayStopsTheRun) {
  FailingSink sink;
  sink.failAtWrite = 2;
  MIDIFileWriter writer(sink, 96);
  const Bytes notes(100000, 60);
  writer.WriteNotes(0, notes.data(), notes.size(), 48, 127, 0);
  EXPECT_EQ(writer.Finish(), EIO);
  EXPECT_EQ(sink.callsAfterFailure, 0);
}

}  // namespace
}  // namespace quorbel::test
