#include <cerrno>
#include <cstring>

#include "NativePath.h"
#include "TextConversion.h"

namespace quorbel {
namespace {

constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point at units[i] and advances i past it. An unpaired
// surrogate decodes as itself, for the caller to judge.
char32_t NextCodePoint(const QuorbelUTF16Unit* units, size_t count,
                       size_t& i) {
  const char32_t unit = units[i++];
  if (IsHighSurrogate(static_cast<QuorbelUTF16Unit>(unit)) && i < count &&
      IsLowSurrogate(units[i])) {
    const char32_t low = units[i++];
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  return unit;
}

bool IsSurrogate(char32_t codePoint) {
  return codePoint >= 0xD800 && codePoint <= 0xDFFF;
}

size_t UTF8Length(char32_t codePoint) {
  return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
}

uint8_t* PutUTF8(uint8_t* out, char32_t codePoint) {
  if (codePoint < 0x80) {
    *out++ = static_cast<uint8_t>(codePoint);
  } else if (codePoint < 0x800) {
    *out++ = static_cast<uint8_t>(0xC0 | (codePoint >> 6));
    *out++ = static_cast<uint8_t>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    *out++ = static_cast<uint8_t>(0xE0 | (codePoint >> 12));
    *out++ = static_cast<uint8_t>(0x80 | ((codePoint >> 6) & 0x3F));
    *out++ = static_cast<uint8_t>(0x80 | (codePoint & 0x3F));
  } else {
    *out++ = static_cast<uint8_t>(0xF0 | (codePoint >> 18));
    *out++ = static_cast<uint8_t>(0x80 | ((codePoint >> 12) & 0x3F));
    *out++ = static_cast<uint8_t>(0x80 | ((codePoint >> 6) & 0x3F));
    *out++ = static_cast<uint8_t>(0x80 | (codePoint & 0x3F));
  }
  return out;
}

constexpr size_t kBlock = 16;

// Narrows a block of units to bytes if all of them are ASCII. The block is
// read as whole words, and copied to locals, so that the compiler sees that
// the bytes written cannot change the units read. 0xFF80 in every 16-bit
// lane catches a unit above 0x7F in either byte order.
bool PutASCIIBlock(const QuorbelUTF16Unit* units, uint8_t* out) {
  static_assert(sizeof(QuorbelUTF16Unit) == 2);
  uint64_t words[kBlock / 4];
  std::memcpy(words, units, sizeof words);
  uint64_t bits = 0;
  for (const uint64_t word : words) bits |= word;
  if ((bits & 0xFF80FF80FF80FF80u) != 0) return false;
  QuorbelUTF16Unit block[kBlock];
  std::memcpy(block, words, sizeof block);
  uint8_t narrow[kBlock];
  for (size_t k = 0; k < kBlock; ++k) narrow[k] = static_cast<uint8_t>(block[k]);
  std::memcpy(out, narrow, kBlock);
  return true;
}

}  // namespace

size_t ConvertTextPiece(const QuorbelUTF16Unit* units, size_t count,
                        uint8_t* bytes) {
  uint8_t* out = bytes;
  size_t i = 0;
  while (i < count) {
    // ASCII, the common case, goes a block at a time: one byte a unit.
    if (count - i >= kBlock && PutASCIIBlock(units + i, out)) {
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

// Converts the path strictly: a file name with an unpaired surrogate has no
// UTF-8 form, and a replacement character would name another file.
int NativePath::Assign(const QuorbelUTF16Unit* path) {
  path_ = nullptr;
  if (path == nullptr) return EINVAL;
  uint8_t* out = reinterpret_cast<uint8_t*>(storage_);
  uint8_t* const end = out + sizeof storage_;
  size_t i = 0;
  while (path[i] != 0) {
    const char32_t codePoint = NextCodePoint(path, i + 2, i);
    if (IsSurrogate(codePoint)) return EILSEQ;
    if (size_t(end - out) < UTF8Length(codePoint) + 1) return ENAMETOOLONG;
    out = PutUTF8(out, codePoint);
  }
  *out = 0;
  path_ = storage_;
  return 0;
}

}  // namespace quorbel
