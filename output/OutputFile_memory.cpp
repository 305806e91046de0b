#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "MemoryFiles.h"
#include "OutputFile.h"

namespace quorbel {
namespace {

// Room kept past the end of a file of known size, for a writer that fills
// it in place and asks for a little more than the file (the MIDI writer
// asks 16 bytes): without it, that request would reallocate the file.
constexpr size_t kRoomPastTheEnd = 64;

// Grows the buffer to hold `capacity` bytes, where it holds fewer.
int Grow(OutputFileState& state, size_t capacity) {
  if (capacity <= state.capacity) return 0;
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
    if (const int error = Grow(state_, size_t(size) + kRoomPastTheEnd)) return error;
  }
  state_.path = path;
  return 0;
}

int OutputFile::Write(const uint8_t* bytes, size_t size) {
  if (state_.path == nullptr) return EBADF;
  if (size > kLargestMemoryFile - state_.size) return EFBIG;
  const size_t needed = state_.size + size;
  if (needed > state_.capacity) {
    // Doubling bounds the copies of a file whose size was not given.
    const size_t doubled =
        state_.capacity > kLargestMemoryFile / 2 ? kLargestMemoryFile : state_.capacity * 2;
    if (const int error = Grow(state_, needed > doubled ? needed : doubled)) return error;
  }
  // Bytes a writer filled in place are where they belong already.
  if (bytes != state_.bytes + state_.size) std::memcpy(state_.bytes + state_.size, bytes, size);
  state_.size = needed;
  return 0;
}

uint8_t* OutputFile::BytesToFillInPlace(size_t room) {
  if (state_.path == nullptr || state_.size != 0 || Grow(state_, room) != 0) return nullptr;
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
