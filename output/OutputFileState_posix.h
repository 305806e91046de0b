#pragma once

#include <climits>
#include <cstdint>

#include "TemporaryName.h"

namespace quorbel {

using NativePathChar = char;

// What an open OutputFile holds on POSIX systems.
struct OutputFileState {
  enum class Kind : uint8_t { kClosed, kReplacement, kInPlace };

  int fd = -1;
  int directory = -1;          // where the target and the temporary are
  Kind kind = Kind::kClosed;
  bool unnamed = false;        // a temporary with no name until it is complete
  bool named = false;          // temporaryName exists in the directory
  bool replacing = false;      // an existing file, whose owner, mode and attributes stay
  bool truncateAtClose = false;  // a file overwritten in place ends where its new bytes do
  uint32_t replacedOwner = 0;
  uint32_t replacedGroup = 0;
  uint32_t replacedMode = 0;
  char targetName[NAME_MAX + 1] = {};
  char temporaryName[kTemporaryNameSize] = {};
};

}  // namespace quorbel
