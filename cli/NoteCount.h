#pragma once

#include <cstdint>
#include <string>

#include "UTF8.h"

namespace quorbel::cli {

// The number of notes the library makes of a text, given as the UTF-8 the
// tool read and the UTF-16 it hands over: the bytes of the text's multibyte
// form, which on POSIX is that UTF-8 and on Windows the ANSI code page's.
uint64_t NoteCount(const std::string& utf8, const UTF16String& utf16);

}  // namespace quorbel::cli
