#pragma once

#include <cstdint>

namespace quorbel {

using NativePathChar = wchar_t;  // paths reach Windows as UTF-16

// What an open OutputFile holds on Windows.
struct OutputFileState {
  static constexpr unsigned kMaxPath = 2048;

  intptr_t handle = -1;
  bool inPlace = false;
  bool deletePending = false;  // the temporary goes away with its handle
  bool replacing = false;  // an existing file: replaced keeping its attributes and ACL
  unsigned long replacedAttributes = 0;
  wchar_t fullPath[kMaxPath] = {};
  wchar_t temporaryPath[kMaxPath + 32] = {};
};

}  // namespace quorbel
