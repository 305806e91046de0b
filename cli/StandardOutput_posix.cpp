#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "Descriptors_posix.h"
#include "ScratchFile_posix.h"
#include "StandardOutput.h"

namespace quorbel::cli {
namespace {

int CopyToStandardOutput(int fd, uint64_t& copied) {
  char piece[65536];
  for (;;) {
    const ssize_t got = ReadWaiting(fd, piece, sizeof piece);
    if (got == 0) return 0;
    if (got < 0) return errno;
    if (const int error = WriteAllWaiting(STDOUT_FILENO, piece, size_t(got))) return error;
    copied += uint64_t(got);
  }
}

}  // namespace

bool IsStandardOutput(const std::string& path) {
  struct stat file, out;
  return ::stat(path.c_str(), &file) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
         file.st_dev == out.st_dev && file.st_ino == out.st_ino && !S_ISCHR(out.st_mode);
}

int WriteMIDIToStandardOutput(const QuorbelUTF16Unit* notes, int32_t noteTicks,
                              uint64_t& copied) {
  // A closed standard output would hand its number to the scratch file,
  // which would then be copied onto itself and reported as written.
  if (::fcntl(STDOUT_FILENO, F_GETFD) < 0) return errno;
  ScratchFile scratch;
  if (!OpenScratchFile(scratch)) return errno;
  const bool written = WriteMIDI(notes, noteTicks, scratch.libraryPath.c_str()) == QUORBEL_OK;
  const int error = errno;
  // Its name goes first, so that even a failed copy leaves nothing behind.
  const int file = ReopenScratchFile(scratch, written);
  if (!written) return error;
  if (file < 0) return errno;
  const int copyError = CopyToStandardOutput(file, copied);
  ::close(file);
  return copyError;
}

}  // namespace quorbel::cli
