#include <cerrno>

#include "NativePath.h"
#include "UTF8Encoding.h"

namespace quorbel {

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
