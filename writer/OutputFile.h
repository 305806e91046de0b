#pragma once

#include <climits>
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
// The file replaces what the path names all at once or not at all: the
// bytes go to a new temporary file beside it, which Close renames over the
// path once it is complete. Until then the path keeps whatever it held,
// and a file that is discarded, or whose Close fails, leaves nothing
// behind. A symbolic link stays a link: the file it points to is replaced.
// A path that names something other than a regular file (a device, a
// FIFO) is written in place, since there is no file to replace.
class OutputFile final : public OutputSink {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Discard(); }

  // Returns 0, or the errno value of the failure.
  int Open(const NativePathChar* path);

  int Write(const uint8_t* bytes, size_t size) override;
  int WriteAt(uint64_t offset, const uint8_t* bytes, size_t size) override;

  // Completes the file and puts it in place of the path. Returns 0, or the
  // errno value of the failure, after which the path is as it was.
  int Close();

  // Closes and removes the temporary file: the path is as it was.
  void Discard();

 private:
  intptr_t handle_ = -1;
  bool inPlace_ = false;
#if defined(_WIN32)
  static constexpr size_t kMaxPath = 2048;
  wchar_t fullPath_[kMaxPath] = {};
  wchar_t temporaryPath_[kMaxPath + 32] = {};
#else
  int OpenInPlace(int directory, const char* name);
  void KeepOwnerAndMode(int fd) const;
  int directory_ = -1;               // where the target and the temporary are
  bool replacing_ = false;           // an existing file, whose owner and mode stay
  uint32_t replacedOwner_ = 0;
  uint32_t replacedGroup_ = 0;
  uint32_t replacedMode_ = 0;
  char targetName_[NAME_MAX + 1] = {};
  char temporaryName_[32] = {};
#endif
};

}  // namespace quorbel
