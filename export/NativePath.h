#pragma once

#include <climits>

#include "OutputFile.h"
#include "quorbel/quorbel.h"

namespace quorbel {

// A path as the caller gave it (UTF-16), in the form the platform's file
// calls take: UTF-8 on POSIX, the UTF-16 itself on Windows.
class NativePath {
 public:
  // Returns 0, or the errno value that refuses the path: EINVAL for NULL,
  // EILSEQ for one with an unpaired surrogate (it names no file anyone can
  // type, and has no UTF-8 form), ENAMETOOLONG for one too long.
  [[nodiscard]] int Assign(const QuorbelUTF16Unit* path);
  const NativePathChar* c_str() const { return path_; }

 private:
  const NativePathChar* path_ = nullptr;
#if !defined(_WIN32)
  NativePathChar storage_[PATH_MAX];
#endif
};

}  // namespace quorbel
