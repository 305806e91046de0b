#pragma once

#include <cstddef>
#include <cstdint>

#include "quorbel/quorbel.h"

// The one place where UTF-16 meets the system's multibyte encoding: UTF-8 on
// POSIX, the ANSI code page on Windows. Each platform has its own source.

namespace quorbel {

// The most bytes that one UTF-16 unit becomes: three in UTF-8, where a
// surrogate pair (two units) becomes four.
constexpr size_t kMaxBytesPerUTF16Unit = 3;

// Converts `count` units of text to the multibyte encoding and returns the
// number of bytes written to `bytes`, which holds at least
// count * kMaxBytesPerUTF16Unit. An unpaired surrogate becomes what the
// system makes of it: U+FFFD in UTF-8, as Windows' own conversion to UTF-8
// does. The caller never cuts a surrogate pair between two pieces.
size_t ConvertTextPiece(const QuorbelUTF16Unit* units, size_t count,
                        uint8_t* bytes);

// The number of bytes ConvertTextPiece makes of the same units, found
// without making them: the file's length is known before its first byte.
size_t MeasureTextPiece(const QuorbelUTF16Unit* units, size_t count);

inline bool IsHighSurrogate(QuorbelUTF16Unit unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
inline bool IsLowSurrogate(QuorbelUTF16Unit unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace quorbel
