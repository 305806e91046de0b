// On POSIX systems: from UTF-16 to the UTF-8 bytes that become notes, and
// from a UTF-16 path to the name the file system sees.

#include <gtest/gtest.h>

#include <climits>
#include <iterator>
#include <string>

#include "NativePath.h"
#include "TestSinks.h"
#include "TextConversion.h"
#include "TextTrack.h"

namespace quorbel::test {
namespace {

// Every conversion is also measured: the file's length is announced from
// the measure before the converted bytes are written.
Bytes Convert(const std::u16string& text) {
  Bytes bytes(text.size() * kMaxBytesPerUTF16Unit);
  bytes.resize(ConvertTextPiece(text.data(), text.size(), bytes.data()));
  EXPECT_EQ(MeasureTextPiece(text.data(), text.size()), bytes.size());
  return bytes;
}

TEST(TextConversion, IsUTF8WhateverTheLocale) {
  EXPECT_EQ(Convert(u"Az~"), (Bytes{'A', 'z', '~'}));
  EXPECT_EQ(Convert(u"\u00E9"), (Bytes{0xC3, 0xA9}));
  EXPECT_EQ(Convert(u"\u07FF\u0800"), (Bytes{0xDF, 0xBF, 0xE0, 0xA0, 0x80}));
  EXPECT_EQ(Convert(u"\u20AC\uFFFF"), (Bytes{0xE2, 0x82, 0xAC, 0xEF, 0xBF, 0xBF}));
  EXPECT_EQ(Convert(u"\U0001F600"), (Bytes{0xF0, 0x9F, 0x98, 0x80}));
  EXPECT_EQ(Convert(u"\U0010FFFF"), (Bytes{0xF4, 0x8F, 0xBF, 0xBF}));
  EXPECT_EQ(Convert(u"\u0080"), (Bytes{0xC2, 0x80}));
  // Runs long enough for the block-at-a-time road, of units whose bytes are
  // each below 0x80 although the units are not ASCII.
  for (const char16_t unit : {u'\u4E2D', u'\u0410', u'\u0080'}) {
    const Bytes one = Convert(std::u16string(1, unit));
    Bytes expected;
    for (int i = 0; i < 40; ++i) expected.insert(expected.end(), one.begin(), one.end());
    EXPECT_EQ(Convert(std::u16string(40, unit)), expected) << int(unit);
  }
}

TEST(TextConversion, UnpairedSurrogatesBecomeTheReplacementCharacter) {
  const Bytes replacement = {0xEF, 0xBF, 0xBD};
  EXPECT_EQ(Convert(std::u16string(1, char16_t(0xD800))), replacement);
  EXPECT_EQ(Convert(std::u16string(1, char16_t(0xDFFF))), replacement);
  // A high surrogate followed by something other than a low one.
  EXPECT_EQ(Convert(std::u16string{char16_t(0xDBFF), u'A'}),
            (Bytes{0xEF, 0xBF, 0xBD, 'A'}));
  // Two lows, or a low before a high, are two unpaired surrogates.
  EXPECT_EQ(Convert(std::u16string{char16_t(0xDC00), char16_t(0xD800)}),
            (Bytes{0xEF, 0xBF, 0xBD, 0xEF, 0xBF, 0xBD}));
}

TEST(NativePathConversion, IsStrictUTF8) {
  NativePath path;
  ASSERT_EQ(path.Assign(u"d\u00E9j\u00E0/\U0001F3B5.mid"), 0);
  EXPECT_STREQ(path.c_str(), "d\xC3\xA9j\xC3\xA0/\xF0\x9F\x8E\xB5.mid");
  ASSERT_EQ(path.Assign(u""), 0);
  EXPECT_STREQ(path.c_str(), "");
}

TEST(NativePathConversion, RefusesWhatNamesNoFile) {
  NativePath path;
  EXPECT_EQ(path.Assign(nullptr), EINVAL);
  const char16_t loneHigh[] = {u'a', 0xD800, u'b', 0};
  EXPECT_EQ(path.Assign(loneHigh), EILSEQ);
  const char16_t loneLow[] = {0xDC00, 0};
  EXPECT_EQ(path.Assign(loneLow), EILSEQ);
  EXPECT_EQ(path.c_str(), nullptr);

  std::u16string longest(PATH_MAX - 1, u'a');
  EXPECT_EQ(path.Assign(longest.c_str()), 0);
  EXPECT_EQ(std::string(path.c_str()).size(), size_t{PATH_MAX - 1});
  longest += u'a';
  EXPECT_EQ(path.Assign(longest.c_str()), ENAMETOOLONG);
  // The limit counts bytes, not characters.
  const std::u16string wide(PATH_MAX / 3 + 1, u'\u20AC');
  EXPECT_EQ(path.Assign(wide.c_str()), ENAMETOOLONG);
}

TEST(TextConversion, EveryByteOfTheUTF8FormIsANoteOfSevenBits) {
  // U+00E9 is C3 A9; an unpaired surrogate is EF BF BD: six notes of 8
  // bytes after 30 of meta events and end of track.
  const char16_t text[] = {u'\u00E9', 0xDC00, u'A', 0};
  MemorySink sink;
  MIDIFileWriter writer(sink, kTicksPerQuarterNote, 30 + 6 * 8);
  WriteTextTrack(writer, text, MeasureText(text), 1);
  ASSERT_EQ(writer.Finish(), 0);
  Bytes notes;
  for (size_t at = 48 + 2; at + 6 < sink.bytes.size(); at += 8) notes.push_back(sink.bytes[at]);
  EXPECT_EQ(notes, (Bytes{0x43, 0x29, 0x6F, 0x3F, 0x3D, 0x41}));
}

}  // namespace
}  // namespace quorbel::test
