#pragma once

#include <cstddef>
#include <cstdint>

// The file system of a build with none of its own (WebAssembly): whole
// files in memory, each under the path it was written to. OutputFile puts
// a file here only once it is complete, so a reader never sees part of one.
// Not safe for concurrent use: such a build runs one thread.

namespace quorbel {

// The largest file made here. The allocator grows memory with a signed
// request: from fresh memory it cannot take 2 GiB at once, though it can
// after smaller requests have grown it. One fixed limit, with room for the
// allocator's own overhead, instead of one that depends on earlier calls.
constexpr size_t kLargestMemoryFile = (size_t(1) << 31) - (size_t(1) << 20);

struct MemoryFileView {
  const uint8_t* bytes;
  size_t size;
};

// Takes ownership of `bytes`, allocated with malloc, replacing and freeing
// any file already at `path`. Returns 0 or ENOMEM, when `bytes` is freed.
[[nodiscard]] int StoreMemoryFile(const char* path, uint8_t* bytes, size_t size);

// The file at `path`: valid until the path is stored or removed again.
// Returns false when there is none.
bool FindMemoryFile(const char* path, MemoryFileView& file);

void RemoveMemoryFile(const char* path);

}  // namespace quorbel
