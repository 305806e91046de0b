#include <cerrno>

#include "NativePath.h"
#include "TextConversion.h"

namespace quorbel {

// The wide file calls take the path as it is: converting it to the ANSI
// code page would turn every character the code page lacks into '?'. Only
// an unpaired surrogate is refused, as on every platform.
int NativePath::Assign(const QuorbelUTF16Unit* path) {
  path_ = nullptr;
  if (path == nullptr) return EINVAL;
  for (size_t i = 0; path[i] != 0; ++i) {
    if (IsHighSurrogate(path[i]) && IsLowSurrogate(path[i + 1])) {
      ++i;
    } else if (IsHighSurrogate(path[i]) || IsLowSurrogate(path[i])) {
      return EILSEQ;
    }
  }
  path_ = path;
  return 0;
}

}  // namespace quorbel
