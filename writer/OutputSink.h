#pragma once

#include <cstddef>
#include <cstdint>

namespace quorbel {

// Where a MIDIFileWriter's bytes go. The writer sees its output through
// this one operation alone, so a file, a memory buffer or a test double
// that fails on demand are all thin adapters.
class OutputSink {
 public:
  // Appends `size` bytes after everything written before. Returns 0 once
  // all of them are written, or the errno value of the failure.
  [[nodiscard]] virtual int Write(const uint8_t* bytes, size_t size) = 0;

 protected:
  ~OutputSink() = default;
};

}  // namespace quorbel
