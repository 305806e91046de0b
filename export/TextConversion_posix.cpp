#include <cerrno>
#include <cstring>

#include "TextConversion.h"
#include "ASCIIScan.h"
#include "UTF8Encoding.h"

namespace quorbel {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

constexpr size_t kBlock = 16;

}  // namespace

size_t ConvertTextPiece(const QuorbelUTF16Unit* units, size_t count,
                        uint8_t* bytes) {
  uint8_t* out = bytes;
  size_t i = 0;
  while (i < count) {
    // ASCII, the common case, goes a block at a time: one byte a unit.
    if (count - i >= kBlock && NarrowASCIIBlock(units + i, out)) {
      i += kBlock;
      out += kBlock;
      continue;
    }
    if (units[i] < 0x80) {
      *out++ = static_cast<uint8_t>(units[i++]);
      continue;
    }
    const char32_t codePoint = NextCodePoint(units, count, i);
    out = PutUTF8(out, IsSurrogate(codePoint) ? kReplacementCharacter
                                              : codePoint);
  }
  return static_cast<size_t>(out - bytes);
}

// One byte below U+0080, two below U+0800, three for the rest of the basic
// plane (an unpaired surrogate becomes U+FFFD, also three), and four for a
// surrogate pair, which the sum first counts as three and three. ASCII, the
// common case, is counted sixteen units at a time, then four to a word:
// this pass runs before any byte is written, and one unit at a time it
// cost a sixth of a call.
size_t MeasureTextPiece(const QuorbelUTF16Unit* units, size_t count) {
  constexpr uint64_t kNonASCII = 0xFF80FF80FF80FF80u;
  size_t size = 0;
  bool surrogates = false;
  const auto measureUnit = [&](QuorbelUTF16Unit unit) {
    size += 1 + (unit >= 0x80) + (unit >= 0x800);
    surrogates |= (unit & 0xF800) == 0xD800;
  };
  const auto measureWord = [&](const QuorbelUTF16Unit* word) {
    uint64_t bits;
    std::memcpy(&bits, word, sizeof bits);
    if ((bits & kNonASCII) == 0) {
      size += 4;
      return;
    }
    for (size_t k = 0; k < 4; ++k) measureUnit(word[k]);
  };
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    uint64_t words[4];
    std::memcpy(words, units + i, sizeof words);
    if (((words[0] | words[1] | words[2] | words[3]) & kNonASCII) == 0) {
      size += 16;
      continue;
    }
    for (size_t k = 0; k < 16; k += 4) measureWord(units + i + k);
  }
  for (; i + 4 <= count; i += 4) measureWord(units + i);
  for (; i < count; ++i) measureUnit(units[i]);
  if (surrogates) {
    for (size_t k = 0; k + 1 < count; ++k) {
      if (IsHighSurrogate(units[k]) && IsLowSurrogate(units[k + 1])) {
        size -= 2;
        ++k;
      }
    }
  }
  return size;
}

}  // namespace quorbel
