#pragma once

#include <cstddef>
#include <cstdint>

#include "OutputSink.h"

#if defined(_WIN32)
#include "OutputFileState_win32.h"
#elif defined(__wasi__) || defined(QUORBEL_FILES_IN_MEMORY)
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
// What each kind of path gets, and what each road promises, is the table
// in quorbel/quorbel.h: that table is this component's contract, and the
// man page is made from it.
//
// Threat model: the attacker is another local user who can write to some
// directory on the path, and who renames, links and swaps files there
// while a call runs. Against that, on POSIX systems:
//   - the path is walked one directory at a time, each held open, and a
//     link is followed only where the kernel's own open would follow it
//     (fs.protected_symlinks included), read through a descriptor of the
//     link itself so that what is checked is what is followed; the kernel's
//     own lookup of the whole path must agree, or the call fails (EAGAIN);
//   - only the file the path named when the call began is written, in the
//     directory held since, whatever is renamed later;
//   - the new file never gives wider access than the old one: owner, mode,
//     attributes and ACL are carried over exactly, or the call fails;
//   - every open is O_CLOEXEC, a temporary is unnamed (O_TMPFILE) or made
//     with O_EXCL, and a file written in place is opened with O_NOFOLLOW.
// Every system call goes through SystemCalls_posix.h, where tests can
// fail any step.
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

  // Only where files live in memory (WebAssembly): the new file's own
  // bytes, `room` of them (which may be more than the file's size), for a
  // writer to fill in place of a buffer of its own: a Write of the next of
  // those bytes then moves nothing. Null before Open, after any Write, and
  // where no room is had.
  uint8_t* BytesToFillInPlace(size_t room);

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
