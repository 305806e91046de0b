#pragma once

#include <cstddef>
#include <cstdint>

#include "OutputSink.h"

namespace quorbel {

#if defined(_WIN32)
using NativePathChar = wchar_t;  // paths reach Windows as UTF-16
#else
using NativePathChar = char;
#endif

// The file a MIDI file is written to, through the operating system's own
// file calls (no stdio buffer: the writer has its own).
//
// Open creates the file, or truncates an existing one; Close completes it.
// Any file opened and not closed successfully is discarded: a regular file
// is removed, so no incomplete MIDI file stays behind, while a device or a
// pipe is only closed.
class OutputFile final : public OutputSink {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Discard(); }

  // Returns 0, or the errno value of the failed open. `path` must stay
  // valid until the file is closed or discarded.
  int Open(const NativePathChar* path);

  int Write(const uint8_t* bytes, size_t size) override;
  int WriteAt(uint64_t offset, const uint8_t* bytes, size_t size) override;

  // Closes the file and keeps it. Returns 0, or the errno value of the
  // failure, in which case the file has been discarded.
  int Close();

  // Closes the file, and removes it if it is a regular file.
  void Discard();

 private:
  const NativePathChar* path_ = nullptr;
  intptr_t handle_ = -1;
};

}  // namespace quorbel
