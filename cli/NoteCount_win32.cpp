#include <windows.h>

#include "NoteCount.h"

namespace quorbel::cli {

// The library converts the text to the ANSI code page: so does the count.
uint64_t NoteCount(const std::string&, const UTF16String& utf16) {
  if (utf16.empty()) return 0;
  const int size = ::WideCharToMultiByte(CP_ACP, 0, utf16.data(), int(utf16.size()), nullptr, 0,
                                         nullptr, nullptr);
  return size > 0 ? uint64_t(size) : 0;
}

}  // namespace quorbel::cli
