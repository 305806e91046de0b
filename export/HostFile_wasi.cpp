#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "ErrorReport.h"
#include "LongTrackBuffer.h"
#include "MemoryFiles.h"
#include "TextTrack.h"
#include "quorbel/quorbel.h"

// The road of the web package's writeMIDI, which returns the file in an
// array of the host's own. The host passes the text as UTF-8, which is
// what the module converts text to (a lone surrogate as U+FFFD), so the
// notes are its bytes as they stand. The file goes back a piece at a time,
// as a native file goes to the kernel, into an array the host made of the
// file's size before the first piece: each piece is copied while it is
// still in the processor's cache, and the module never holds the whole
// file. Measured for 10^6 notes in Node, filling the file in the module's
// memory and copying it out afterwards took twice as long, the copy
// reading what the filling had pushed out of the cache.

// The host's side, imported from "quorbel": an array of `size` bytes made
// ready (0, or nonzero when it cannot be had), then the file's bytes in
// order (0 once copied).
extern "C" __attribute__((import_module("quorbel"), import_name("fileBegins"))) int32_t
QuorbelHostFileBegins(size_t size);
extern "C" __attribute__((import_module("quorbel"), import_name("fileBytes"))) int32_t
QuorbelHostFileBytes(const uint8_t* bytes, size_t size);

namespace quorbel {
namespace {

class HostFile final : public OutputSink {
 public:
  int Write(const uint8_t* bytes, size_t size) override {
    return QuorbelHostFileBytes(bytes, size) == 0 ? 0 : EIO;
  }
};

// The pieces of a long file, taken once and kept for later calls, as the
// native library keeps its mapping; null where none could be had, and the
// writer keeps its own buffer.
uint8_t* LongFilePieces(uint64_t fileSize) {
  static uint8_t* kept = nullptr;
  if (fileSize < LongTrackBuffer::kLongFile) return nullptr;
  if (kept == nullptr) kept = static_cast<uint8_t*>(std::malloc(LongTrackBuffer::kLargestPiece));
  return kept;
}

int WriteToHost(const uint8_t* text, size_t size, int32_t noteTicks) {
  BeginErrorReport();
  if (!NoteTicksInRange(noteTicks)) return EINVAL;
  TextFile planned;
  if (const int error = PlanTextFile(size, static_cast<uint32_t>(noteTicks), planned)) {
    return error;
  }
  if (planned.size > kLargestMemoryFile) return EFBIG;
  uint8_t* const pieces = LongFilePieces(planned.size);
  if (QuorbelHostFileBegins(static_cast<size_t>(planned.size)) != 0) return ENOMEM;
  HostFile host;
  MIDIFileWriter writer(host, kTicksPerQuarterNote, planned.trackLength, pieces,
                        pieces != nullptr ? LongTrackBuffer::kLargestPiece : 0);
  WriteByteTrack(writer, text, size, static_cast<uint32_t>(noteTicks));
  return writer.Finish();
}

}  // namespace
}  // namespace quorbel

// WriteMIDI for a text of `size` bytes of UTF-8: its result and errno are
// WriteMIDI's, and the file goes to the host in place of a path.
extern "C" __attribute__((export_name("QuorbelWriteUTF8ToHost"))) int32_t
QuorbelWriteUTF8ToHost(const uint8_t* text, size_t size, int32_t noteTicks) {
  if (const int error = quorbel::WriteToHost(text, size, noteTicks)) {
    quorbel::ReportError(error);
    return 0;
  }
  return QUORBEL_OK;
}
