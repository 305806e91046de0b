#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "MemoryFiles.h"
#include "OutputFile.h"

namespace quorbel {
namespace {

// Grows the buffer to hold at least `needed` bytes. Doubling bounds the
// copies of a file whose size is not known in advance.
int Reserve(OutputFileState& state, size_t needed) {
  if (needed <= state.capacity) return 0;
  if (needed > kLargestMemoryFile) return EFBIG;
  size_t capacity =
      state.capacity > kLargestMemoryFile / 2 ? kLargestMemoryFile : state.capacity * 2;
  if (capacity < needed) capacity = needed;
  auto* bytes = static_cast<uint8_t*>(std::realloc(state.bytes, capacity));
  if (bytes == nullptr) return ENOMEM;
  state.bytes = bytes;
  state.capacity = capacity;
  return 0;
}

}  // namespace

int OutputFile::Open(const NativePathChar* path, uint64_t size) {
  Discard();
  if (path[0] == 0) return ENOENT;
  if (size != kUnknownSize) {
    // The whole file in one allocation, or a refusal before anything starts.
    if (size > kLargestMemoryFile) return EFBIG;
    if (const int error = Reserve(state_, size_t(size))) return error;
  }
  state_.path = path;
  return 0;
}

int OutputFile::Write(const uint8_t* bytes, size_t size) {
  if (state_.path == nullptr) return EBADF;
  if (size > SIZE_MAX - state_.size) return EFBIG;
  if (const int error = Reserve(state_, state_.size + size)) return error;
  // Bytes a writer filled in place are where they belong already.
  if (bytes != state_.bytes + state_.size) std::memcpy(state_.bytes + state_.size, bytes, size);
  state_.size += size;
  return 0;
}

uint8_t* OutputFile::BytesToFillInPlace(size_t room) {
  if (state_.path == nullptr || state_.size != 0 || Reserve(state_, room) != 0) return nullptr;
  return state_.bytes;
}

int OutputFile::Close() {
  if (state_.path == nullptr) return EBADF;
  const int error = StoreMemoryFile(state_.path, state_.bytes, state_.size);
  state_ = OutputFileState{};
  return error;
}

void OutputFile::Discard() {
  std::free(state_.bytes);
  state_ = OutputFileState{};
}

}  // namespace quorbel
