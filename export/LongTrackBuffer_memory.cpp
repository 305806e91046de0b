#include "LongTrackBuffer.h"

#include "MIDIFileWriter.h"

namespace quorbel {

// A file kept in memory is filled where it lies: the writer is lent the
// file's own bytes, with the room it asks for beyond the last event, and
// its one write at the end then moves nothing.
LongTrackBuffer::LongTrackBuffer(OutputFile& file, uint64_t fileSize) {
  const size_t room = static_cast<size_t>(fileSize) + MIDIFileWriter::kRoomToSpare;
  data_ = file.BytesToFillInPlace(room);
  if (data_ != nullptr) size_ = room;
}

// The bytes are the file's, and go with it.
LongTrackBuffer::~LongTrackBuffer() = default;

}  // namespace quorbel
