// WriteMIDI as a host sees it: through the shared library and real files.

#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/stat.h>

#include <cerrno>
#include <iterator>
#include <string>
#include <vector>

#include "ExpectedMIDIFile.h"
#include "TempDirectory.h"
#include "WriteCall.h"
#include "DocumentedExample.h"
#include "quorbel/quorbel.h"

namespace quorbel::test {
namespace {

using Bytes = std::vector<uint8_t>;

class WriteMIDITest : public ::testing::Test {
 protected:
  TempDirectory dir;
  std::string file = dir / "out.mid";
};

TEST_F(WriteMIDITest, WritesTheDocumentedExample) {
  ASSERT_EQ(Write(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, file).value, QUORBEL_OK);
  const Bytes expected(std::begin(kDocumentedExample), std::end(kDocumentedExample));
  EXPECT_EQ(ReadFile(file), expected);
}

TEST_F(WriteMIDITest, NotesFollowEachOtherWithTheirOwnStatusBytes) {
  ASSERT_EQ(Write(u"C", 200, file).value, QUORBEL_OK);
  Bytes bytes = ReadFile(file);
  ASSERT_EQ(bytes.size(), 61u);
  EXPECT_EQ(Bytes(bytes.begin() + 48, bytes.end()),
            (Bytes{0, 0x90, 0x43, 0x7F, 0x81, 0x48, 0x80, 0x43, 0, 0, 0xFF, 0x2F, 0}));

  ASSERT_EQ(Write(u"AA", 0, file).value, QUORBEL_OK);
  bytes = ReadFile(file);
  EXPECT_EQ(Bytes(bytes.begin() + 48, bytes.end()),
            (Bytes{0, 0x90, 0x41, 0x7F, 0, 0x80, 0x41, 0,  //
                   0, 0x90, 0x41, 0x7F, 0, 0x80, 0x41, 0,  //
                   0, 0xFF, 0x2F, 0}));
}

TEST_F(WriteMIDITest, EmptyOrMissingTextGivesTheEmptyTrack) {
  for (const char16_t* text : {u"", static_cast<const char16_t*>(nullptr)}) {
    ASSERT_EQ(Write(text, 48, file).value, QUORBEL_OK);
    const Bytes bytes = ReadFile(file);
    ASSERT_EQ(bytes.size(), 52u);
    EXPECT_EQ(TrackLengthField(bytes), 30u);
  }
}

// 52 + b * (7 + L) bytes for b bytes of text, L the delta time's length.
TEST_F(WriteMIDITest, FileSizeFollowsTheTextAndTheNoteLength) {
  const struct {
    int32_t ticks;
    uint32_t deltaLength;
  } lengths[] = {{0, 1},        {127, 1},      {128, 2},       {16383, 2},
                 {16384, 3},    {0x1FFFFF, 3}, {0x200000, 4},  {0x0FFFFFFF, 4}};
  // 1999 and beyond: longer texts than a fixed 2000-byte buffer could take.
  for (const size_t textLength : {1u, 2u, 100u, 1999u, 2000u, 2001u, 70000u}) {
    const std::u16string text(textLength, u'q');
    for (const auto& length : lengths) {
      ASSERT_EQ(Write(text.c_str(), length.ticks, file).value, QUORBEL_OK);
      const Bytes bytes = ReadFile(file);
      const size_t track = 30 + textLength * (7 + length.deltaLength);
      ASSERT_EQ(bytes.size(), 22 + track) << textLength << " " << length.ticks;
      EXPECT_EQ(TrackLengthField(bytes), track) << textLength << " " << length.ticks;
      EXPECT_EQ(Bytes(bytes.end() - 4, bytes.end()), (Bytes{0, 0xFF, 0x2F, 0}));
    }
  }
}

TEST_F(WriteMIDITest, ReplacesAnExistingFile) {
  WriteFile(file, std::string(100000, 'x'));
  ASSERT_EQ(Write(u"A", 1, file).value, QUORBEL_OK);
  EXPECT_EQ(ReadFile(file).size(), 60u);
}

TEST_F(WriteMIDITest, NonASCIIPathIsCreatedWithItsUTF8Name) {
  const std::u16string path = Widen(dir.path()) + u"/\u00FCn\u00EF\u540D.mid";
  ASSERT_EQ(WriteMIDI(u"A", 1, path.c_str()), QUORBEL_OK);
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"\xC3\xBCn\xC3\xAF\xE5\x90\x8D.mid"});
}

// Refused calls open nothing: no file appears and an old one keeps every byte.
TEST_F(WriteMIDITest, RefusedNoteLengthsLeaveTheOldFileAlone) {
  WriteFile(file, "old content");
  for (const int32_t ticks : {-1, INT32_MIN, 0x10000000, INT32_MAX}) {
    const Result result = Write(u"AB", ticks, file);
    EXPECT_EQ(result.value, 0) << ticks;
    EXPECT_EQ(result.error, EINVAL) << ticks;
    const Bytes old = ReadFile(file);
    EXPECT_EQ(std::string(old.begin(), old.end()), "old content");
    EXPECT_EQ(Write(u"AB", ticks, dir / "new.mid").value, 0);
    EXPECT_FALSE(Exists(dir / "new.mid"));
  }
}

// 4 GiB of track from 130 million three-byte characters at the longest
// note length: refused from the count alone, before anything is opened.
TEST_F(WriteMIDITest, ATrackPastFourGibibytesIsRefusedAndTouchesNothing) {
  WriteFile(file, "old content");
  const std::u16string text(130'200'000, u'\u20AC');
  errno = 0;
  EXPECT_EQ(WriteMIDI(text.c_str(), QUORBEL_MAX_NOTE_TICKS, Widen(file).c_str()), 0);
  EXPECT_EQ(errno, EFBIG);
  const Bytes old = ReadFile(file);
  EXPECT_EQ(std::string(old.begin(), old.end()), "old content");
  EXPECT_EQ(dir.Entries(), std::vector<std::string>{"out.mid"});
}

// The length field's own limit is a track of 0xFFFFFFFF bytes, and it is
// written: 30 bytes of fixed events and 477218585 notes of 9 bytes (128
// ticks), from 159072861 three-byte characters and one two-byte one. No
// whole number of notes of one length makes the track a single byte longer;
// one note more, 9 bytes over, is refused. Into /dev/null, as no disk
// should hold 4 GiB for a test.
TEST_F(WriteMIDITest, TheLongestTrackTheLengthFieldHoldsIsWrittenAndNoLonger) {
  std::u16string text;
  text.reserve(159'072'863);
  text.assign(159'072'861, u'\u20AC');
  text += u'\u00E9';
  EXPECT_EQ(Write(text.c_str(), 128, "/dev/null").value, QUORBEL_OK);
  text += u'a';
  const Result over = Write(text.c_str(), 128, "/dev/null");
  EXPECT_EQ(over.value, 0);
  EXPECT_EQ(over.error, EFBIG);
}

TEST_F(WriteMIDITest, RefusedPathsWriteNothing) {
  errno = 0;
  EXPECT_EQ(WriteMIDI(u"AB", 48, nullptr), 0);
  EXPECT_EQ(errno, EINVAL);

  const Result empty = Write(u"AB", 48, "");
  EXPECT_EQ(empty.value, 0);
  EXPECT_EQ(empty.error, ENOENT);

  std::u16string lone = Widen(dir / "a");
  lone += char16_t(0xD800);
  errno = 0;
  EXPECT_EQ(WriteMIDI(u"AB", 48, lone.c_str()), 0);
  EXPECT_EQ(errno, EILSEQ);
  EXPECT_TRUE(dir.Entries().empty());
}

TEST_F(WriteMIDITest, FailuresOfTheFileSystemGiveZeroAndTheirReason) {
  const Result missing = Write(u"AB", 48, dir / "no/such/x.mid");
  EXPECT_EQ(missing.value, 0);
  EXPECT_EQ(missing.error, ENOENT);

  const Result directory = Write(u"AB", 48, dir.path());
  EXPECT_EQ(directory.value, 0);
  EXPECT_EQ(directory.error, EISDIR);

  WriteFile(dir / "plain", "");
  const Result notADirectory = Write(u"AB", 48, dir / "plain/x.mid");
  EXPECT_EQ(notADirectory.value, 0);
  EXPECT_EQ(notADirectory.error, ENOTDIR);

  const Result tooLong = Write(u"AB", 48, dir / std::string(300, 'n'));
  EXPECT_EQ(tooLong.value, 0);
  EXPECT_EQ(tooLong.error, ENAMETOOLONG);
}

TEST_F(WriteMIDITest, AFullDeviceIsReportedAndTheDeviceStays) {
  struct stat before;
  if (::stat("/dev/full", &before) != 0) GTEST_SKIP() << "no /dev/full";
  for (const size_t length : {1u, 100000u}) {  // fails at the end, and midway
    const std::u16string text(length, u'a');
    const Result result = Write(text.c_str(), 48, "/dev/full");
    EXPECT_EQ(result.value, 0);
    EXPECT_EQ(result.error, ENOSPC);
    struct stat after;
    ASSERT_EQ(::stat("/dev/full", &after), 0) << "the device was removed";
    EXPECT_TRUE(S_ISCHR(after.st_mode));
    EXPECT_EQ(after.st_rdev, before.st_rdev);
  }
}

// Tens of millions of characters on a 256 KiB stack: memory use does not
// grow with the text.
struct LongTextCall {
  const std::u16string* text;
  std::string path;
  Result result;
};

TEST_F(WriteMIDITest, ALongTextNeedsNeitherAFixedBufferNorALargeStack) {
  const size_t length = 20'000'000;
  std::u16string text(length, u'a');
  for (size_t i = 0; i < length; i += 1000) text[i] = u'\u00E9';  // 2 bytes
  LongTextCall call{&text, file, {}};

  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  pthread_attr_setstacksize(&attributes, 256 * 1024);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, [](void* argument) -> void* {
              auto* c = static_cast<LongTextCall*>(argument);
              c->result = Write(c->text->c_str(), 48, c->path);
              return nullptr;
            }, &call), 0);
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);

  ASSERT_EQ(call.result.value, QUORBEL_OK);
  const uint64_t bytes = length + length / 1000;
  struct stat status;
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(uint64_t(status.st_size), 52 + bytes * 8);
}

}  // namespace
}  // namespace quorbel::test
