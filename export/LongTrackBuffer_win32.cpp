#include <windows.h>

#include "LongTrackBuffer.h"

namespace quorbel {

LongTrackBuffer::LongTrackBuffer(OutputFile&, uint64_t fileSize) {
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const size_t size = LongTrackPieceSize(fileSize, system.dwAllocationGranularity);
  if (size == 0) return;
  data_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  if (data_ != nullptr) size_ = size;
}

LongTrackBuffer::~LongTrackBuffer() {
  if (data_ != nullptr) VirtualFree(data_, 0, MEM_RELEASE);
}

}  // namespace quorbel
