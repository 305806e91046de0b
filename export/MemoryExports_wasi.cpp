#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "MemoryFiles.h"

// What the WebAssembly module offers its JavaScript host beside WriteMIDI:
// memory to pass the text and path in, the reason for a failure, and the
// finished file, which lives in memory there.

#define QUORBEL_WASM_EXPORT(name) extern "C" __attribute__((export_name(#name)))

QUORBEL_WASM_EXPORT(QuorbelAllocate) void* QuorbelAllocate(size_t size) {
  return std::malloc(size);
}

QUORBEL_WASM_EXPORT(QuorbelFree) void QuorbelFree(void* block) { std::free(block); }

// WriteMIDI's errno after it returned 0, as WASI numbers it.
QUORBEL_WASM_EXPORT(QuorbelError) int QuorbelError() { return errno; }

// The file WriteMIDI wrote to `path` (UTF-8): its bytes, or null when there
// is none, and its size. Both are valid until the path is written or
// removed again.
QUORBEL_WASM_EXPORT(QuorbelFileBytes) const uint8_t* QuorbelFileBytes(const char* path) {
  quorbel::MemoryFileView file{};
  return quorbel::FindMemoryFile(path, file) ? file.bytes : nullptr;
}

QUORBEL_WASM_EXPORT(QuorbelFileSize) size_t QuorbelFileSize(const char* path) {
  quorbel::MemoryFileView file{};
  return quorbel::FindMemoryFile(path, file) ? file.size : 0;
}

QUORBEL_WASM_EXPORT(QuorbelRemoveFile) void QuorbelRemoveFile(const char* path) {
  quorbel::RemoveMemoryFile(path);
}
