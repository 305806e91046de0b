#pragma once

#include <cerrno>
#include <climits>

#include "OutputFile.h"
#include "quorbel/quorbel.h"

namespace quorbel {

// A path as the caller gave it (UTF-16), in the form the platform's file
// calls take.
class NativePath {
 public:
  // Returns 0, or the errno value that refuses the path: EINVAL for NULL,
  // EILSEQ for a path that names no file, ENAMETOOLONG for one too long.
  int Assign(const QuorbelUTF16Unit* path);
  const NativePathChar* c_str() const { return path_; }

 private:
#if defined(_WIN32)
  // The wide file calls take the UTF-16 path as it is: no copy.
  const NativePathChar* path_ = nullptr;
#else
  const NativePathChar* path_ = nullptr;
  NativePathChar storage_[PATH_MAX];
#endif
};

}  // namespace quorbel
