#pragma once

#include <cstddef>
#include <cstdint>

namespace quorbel {

// Where a MIDIFileWriter's bytes go. The writer sees its output through
// these two operations alone, so a file, a memory buffer or a test double
// that fails on demand are all thin adapters.
class OutputSink {
 public:
  // Appends `size` bytes after everything written before. Returns 0 once
  // all of them are written, or the errno value of the failure.
  [[nodiscard]] virtual int Write(const uint8_t* bytes, size_t size) = 0;

  // Overwrites `size` bytes already written, `offset` bytes from the start,
  // without moving the append position. Returns 0 or an errno value.
  [[nodiscard]] virtual int WriteAt(uint64_t offset, const uint8_t* bytes, size_t size) = 0;

  // False for a pipe, a FIFO, a terminal or a socket, where WriteAt fails:
  // a writer that would need it refuses before its first byte leaves.
  virtual bool CanWriteAt() const { return true; }

 protected:
  ~OutputSink() = default;
};

}  // namespace quorbel
