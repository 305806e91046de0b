#pragma once

#include <cstddef>
#include <cstdint>

#include "TextConversion.h"

// UTF-16 to UTF-8, one code point at a time, for the POSIX conversions of
// the text and of the path.

namespace quorbel {

// Decodes the code point at units[i] and advances i past it. An unpaired
// surrogate decodes as itself, for the caller to judge.
inline char32_t NextCodePoint(const QuorbelUTF16Unit* units, size_t count,
                              size_t& i) {
  const char32_t unit = units[i++];
  if (IsHighSurrogate(static_cast<QuorbelUTF16Unit>(unit)) && i < count &&
      IsLowSurrogate(units[i])) {
    const char32_t low = units[i++];
    return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  }
  return unit;
}

inline bool IsSurrogate(char32_t codePoint) {
  return codePoint >= 0xD800 && codePoint <= 0xDFFF;
}

inline size_t UTF8Length(char32_t codePoint) {
  return codePoint < 0x80 ? 1 : codePoint < 0x800 ? 2 : codePoint < 0x10000 ? 3 : 4;
}

inline uint8_t* PutUTF8(uint8_t* out, char32_t codePoint) {
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

}  // namespace quorbel
