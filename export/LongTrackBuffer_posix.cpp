#include <sys/mman.h>
#include <unistd.h>

#include "LongTrackBuffer.h"

namespace quorbel {
namespace {

// The pages are made in one step rather than one fault at a time.
#ifdef MAP_POPULATE
constexpr int kPrefault = MAP_POPULATE;
#else
constexpr int kPrefault = 0;
#endif

}  // namespace

LongTrackBuffer::LongTrackBuffer(uint64_t fileSize) {
  const long page = ::sysconf(_SC_PAGESIZE);
  const size_t size = LongTrackPieceSize(fileSize, page > 0 ? size_t(page) : 4096);
  if (size == 0) return;
  void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | kPrefault, -1, 0);
  if (memory == MAP_FAILED) return;
  data_ = static_cast<uint8_t*>(memory);
  size_ = size;
}

LongTrackBuffer::~LongTrackBuffer() {
  if (data_ != nullptr) ::munmap(data_, size_);
}

}  // namespace quorbel
