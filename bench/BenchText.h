#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "quorbel/quorbel.h"

namespace quorbel::bench {

using UTF16String = std::basic_string<QuorbelUTF16Unit>;

// `length` characters of ordinary ASCII prose: one byte, so one note, per
// character, which makes notes per call the text's length.
UTF16String MakeAsciiText(size_t length);

// The UTF-16 form of an ASCII path. The benchmarks' own paths are ASCII;
// anything else gives an empty string, for the caller to refuse.
UTF16String WidenAsciiPath(std::string_view path);

}  // namespace quorbel::bench
