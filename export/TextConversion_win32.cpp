#include <windows.h>

#include <cerrno>

#include "NativePath.h"
#include "TextConversion.h"

namespace quorbel {

// The system's own conversion to the ANSI code page, with its defaults for
// characters the code page lacks.
size_t ConvertTextPiece(const QuorbelUTF16Unit* units, size_t count,
                        uint8_t* bytes) {
  if (count == 0) return 0;
  const int size = ::WideCharToMultiByte(
      CP_ACP, 0, units, static_cast<int>(count), reinterpret_cast<char*>(bytes),
      static_cast<int>(count * kMaxBytesPerUTF16Unit), nullptr, nullptr);
  return size > 0 ? static_cast<size_t>(size) : 0;
}

// The wide file calls take the path as it is: converting it to the ANSI
// code page would turn every character the code page lacks into '?'.
int NativePath::Assign(const QuorbelUTF16Unit* path) {
  path_ = path;
  return path == nullptr ? EINVAL : 0;
}

}  // namespace quorbel
