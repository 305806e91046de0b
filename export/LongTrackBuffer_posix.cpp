#include <sys/mman.h>
#include <unistd.h>

#include <atomic>

#include "LongTrackBuffer.h"

namespace quorbel {
namespace {

// The pages are made in one step rather than one fault at a time.
#ifdef MAP_POPULATE
constexpr int kPrefault = MAP_POPULATE;
#else
constexpr int kPrefault = 0;
#endif

// Fresh pages cost far more than the larger pieces save where the system
// runs under a hypervisor that shadows the page tables: 256 KiB mapped,
// filled and unmapped took 400 us on such a machine, the same 256 KiB
// refilled 2 us, and a write of 8 MB about 2 ms. So one mapping is kept
// between calls and lent to one call at a time; a call that finds it lent
// out maps its own for the call, and the first long file's mapping is the
// one kept. It is unmapped when the library is unloaded or the process
// ends. Null while lent out, and before the first long file.
std::atomic<uint8_t*> keptPiece{nullptr};

uint8_t* MapPiece(size_t size) {
  void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | kPrefault, -1, 0);
  return memory == MAP_FAILED ? nullptr : static_cast<uint8_t*>(memory);
}

size_t PieceSize() {
  const long page = ::sysconf(_SC_PAGESIZE);
  return LongTrackPieceSize(LongTrackBuffer::kLargestPiece, page > 0 ? size_t(page) : 4096);
}

__attribute__((destructor)) void UnmapKeptPiece() {
  if (uint8_t* piece = keptPiece.exchange(nullptr)) ::munmap(piece, PieceSize());
}

}  // namespace

LongTrackBuffer::LongTrackBuffer(OutputFile&, uint64_t fileSize) {
  if (fileSize < kWorthTheKeptPiece) return;
  const size_t size = PieceSize();
  uint8_t* piece = keptPiece.exchange(nullptr, std::memory_order_acquire);
  if (piece == nullptr && fileSize >= kWorthAMapping) piece = MapPiece(size);
  if (piece == nullptr) return;
  data_ = piece;
  size_ = size;
}

LongTrackBuffer::~LongTrackBuffer() {
  if (data_ == nullptr) return;
  uint8_t* none = nullptr;
  if (!keptPiece.compare_exchange_strong(none, data_, std::memory_order_release)) {
    ::munmap(data_, size_);
  }
}

}  // namespace quorbel
