#pragma once

#include <cstddef>
#include <cstdint>

namespace quorbel {

using NativePathChar = char;

// What an open OutputFile holds where files live in memory (WebAssembly):
// the new file's bytes, which replace the path's only at Close.
struct OutputFileState {
  const char* path = nullptr;
  uint8_t* bytes = nullptr;
  size_t size = 0;
  size_t capacity = 0;
};

}  // namespace quorbel
