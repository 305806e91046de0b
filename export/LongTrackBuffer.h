#pragma once

#include <cstddef>
#include <cstdint>

#include "OutputFile.h"

namespace quorbel {

// Memory lent to the writer for a long file, so that it reaches the file
// system in pieces of kLargestPiece bytes rather than the writer's own
// 16 KiB: each write costs a system call and a pass of the file system's
// own locking, and for a file of megabytes small pieces cost more than the
// encoding itself. Measured for 10^6 notes, 512 KiB pieces came to 1.07
// times a single write's cost on ext4 where 256 KiB came to 1.10; 1 MiB
// gained a little more on ext4 but slowed the encoding, whose piece then
// no longer stays in the processor's second-level cache. The memory is
// mapped (never the heap, never the stack), only for a long file, and on
// POSIX systems kept for later calls, shorter files' too (see
// LongTrackBuffer_posix.cpp); where no mapping can be had, data() is null
// and the writer keeps its own buffer, at the old speed. Where files live
// in memory, the file's own bytes are lent.
class LongTrackBuffer {
 public:
  static constexpr uint64_t kLongFile = 256 * 1024;
  static constexpr size_t kLargestPiece = 512 * 1024;
  // A first mapping costs more than the larger pieces save on a shorter
  // file, where fresh pages are dear (see LongTrackBuffer_posix.cpp).
  static constexpr uint64_t kWorthAMapping = 1024 * 1024;
  // A mapping already kept costs nothing to lend, so on POSIX systems it
  // goes to any file that would take the writer's own buffer four writes
  // or more: an 80 KB file then leaves in one write, not five.
  static constexpr uint64_t kWorthTheKeptPiece = 64 * 1024;

  // `file` is open, to be `fileSize` bytes long.
  LongTrackBuffer(OutputFile& file, uint64_t fileSize);
  ~LongTrackBuffer();
  LongTrackBuffer(const LongTrackBuffer&) = delete;
  LongTrackBuffer& operator=(const LongTrackBuffer&) = delete;

  uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// The piece size for a file of `fileSize` bytes: none below kLongFile, the
// whole file up to kLargestPiece, rounded up to whole pages of `pageSize`.
inline size_t LongTrackPieceSize(uint64_t fileSize, size_t pageSize) {
  if (fileSize < LongTrackBuffer::kLongFile) return 0;
  const uint64_t wanted =
      fileSize < LongTrackBuffer::kLargestPiece ? fileSize : LongTrackBuffer::kLargestPiece;
  return static_cast<size_t>((wanted + pageSize - 1) / pageSize * pageSize);
}

}  // namespace quorbel
