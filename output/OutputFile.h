#pragma once

#include <cstddef>
#include <cstdint>

#include "OutputSink.h"

#if defined(_WIN32)
#include "OutputFileState_win32.h"
#elif defined(__wasi__)
#include "OutputFileState_memory.h"
#else
#include "OutputFileState_posix.h"
#endif

namespace quorbel {

// The file a MIDI file is written to, through the operating system's own
// file calls (no stdio buffer: the writer has its own). WebAssembly has no
// file system of its own: there, files are kept in memory (MemoryFiles.h),
// and a file replaces the one at its path only when complete.
//
// What the path names decides how it is written:
//
//   path names                               written
//   ---------------------------------------  ---------------------------------
//   nothing, or a regular file               atomically: a temporary beside it
//                                            is renamed over the path once
//                                            complete (on Linux an unnamed
//                                            one, which a crash cannot leave)
//   a regular file the caller may write in   in place: space reserved first,
//   a directory that refuses the rename      then written and cut to size;
//   (not writable, sticky and another's,     not atomic
//   append-only, immutable) or a file
//   mounted over another
//   a device, FIFO, socket or terminal       in place, as it is
//   an open file through /proc (/dev/stdout) opened anew and truncated, as
//                                            cp opens it
//
// A symbolic link stays a link: the file it leads to is replaced. A
// replaced file keeps its owner where the system allows, its permission
// bits, and its extended attributes and ACL. Until Close, an atomic
// replacement leaves the path as it was, and a file that is discarded, or
// whose Close fails, leaves nothing behind.
class OutputFile final : public OutputSink {
 public:
  static constexpr uint64_t kUnknownSize = UINT64_MAX;

  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Discard(); }

  // Returns 0, or the errno value of the failure. `size`, when known, is
  // the size the file will have: a file written in place gets that space
  // reserved before its first byte changes. `path` must stay valid until
  // Close or Discard.
  [[nodiscard]] int Open(const NativePathChar* path, uint64_t size = kUnknownSize);

  [[nodiscard]] int Write(const uint8_t* bytes, size_t size) override;
  [[nodiscard]] int WriteAt(uint64_t offset, const uint8_t* bytes, size_t size) override;
  bool CanWriteAt() const override { return state_.canWriteAt; }

  // Completes the file and puts it in place of the path. Returns 0, or the
  // errno value of the failure, after which an atomic replacement has left
  // the path as it was.
  [[nodiscard]] int Close();

  // Closes and removes the temporary file: the path is as it was.
  void Discard();

 private:
  OutputFileState state_;
};

}  // namespace quorbel
