#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "quorbel/quorbel.h"

namespace quorbel::cli {

using UTF16String = std::basic_string<QuorbelUTF16Unit>;

// Converts strict UTF-8 to UTF-16. Returns false, with the offset of the
// first byte that is not part of a valid sequence in `badOffset`, for
// malformed input: a stray continuation byte, a truncated or overlong
// sequence, a surrogate, or a code point above U+10FFFF.
bool UTF8ToUTF16(std::string_view utf8, UTF16String& utf16,
                 size_t& badOffset);

}  // namespace quorbel::cli
