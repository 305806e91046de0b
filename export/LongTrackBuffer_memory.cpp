#include "LongTrackBuffer.h"

namespace quorbel {

// A file kept in memory gains nothing from larger pieces: each is one copy
// whatever its size, and the module's memory has no mapping to lend.
LongTrackBuffer::LongTrackBuffer(uint64_t) {}
LongTrackBuffer::~LongTrackBuffer() = default;

}  // namespace quorbel
