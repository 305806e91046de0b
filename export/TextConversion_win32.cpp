#include <windows.h>

#include <cerrno>

#include "TextConversion.h"

namespace quorbel {

// The system's own conversion to the ANSI code page, with its defaults for
// characters the code page lacks. It cannot fail here: the buffer holds
// three bytes a unit, more than any code page needs, and without
// WC_ERR_INVALID_CHARS no character is refused.
size_t ConvertTextPiece(const QuorbelUTF16Unit* units, size_t count,
                        uint8_t* bytes) {
  if (count == 0) return 0;
  const int size = ::WideCharToMultiByte(
      CP_ACP, 0, units, static_cast<int>(count), reinterpret_cast<char*>(bytes),
      static_cast<int>(count * kMaxBytesPerUTF16Unit), nullptr, nullptr);
  return size > 0 ? static_cast<size_t>(size) : 0;
}

size_t MeasureTextPiece(const QuorbelUTF16Unit* units, size_t count) {
  if (count == 0) return 0;
  const int size = ::WideCharToMultiByte(CP_ACP, 0, units, static_cast<int>(count),
                                         nullptr, 0, nullptr, nullptr);
  return size > 0 ? static_cast<size_t>(size) : 0;
}

}  // namespace quorbel
