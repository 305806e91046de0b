#include "StandardOutput.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "QuorbelFeatures.h"
#include "UTF8.h"

namespace quorbel::cli {
namespace {

// Where WriteMIDI is to write: a file with no name (in memory where the
// system has that), named through /proc, which the library writes as the
// open file it is; elsewhere, a new file of our own in the temporary
// directory, removed once opened. Returns the descriptor to read back, or -1.
int OpenScratchFile(std::string& path) {
#if QUORBEL_HAVE_PROC_SUPER_MAGIC
#if QUORBEL_HAVE_MEMFD_CREATE
  int fd = ::memfd_create("quorbel", MFD_CLOEXEC);
#else
  int fd = -1;
#endif
  if (fd < 0) {
    std::FILE* file = std::tmpfile();
    fd = file != nullptr ? ::dup(::fileno(file)) : -1;
    if (file != nullptr) std::fclose(file);
  }
  path = "/proc/self/fd/" + std::to_string(fd);
  return fd;
#else
  const char* directory = std::getenv("TMPDIR");
  path = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
         "/quorbel-XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd >= 0) ::close(fd);
  return fd;
#endif
}

// The scratch file as WriteMIDI left it, open for reading and with no name.
int ReopenScratchFile(int fd, const std::string& path) {
#if QUORBEL_HAVE_PROC_SUPER_MAGIC
  (void)path;
  return ::lseek(fd, 0, SEEK_SET) == 0 ? fd : -1;
#else
  (void)fd;
  const int reopened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ::unlink(path.c_str());
  return reopened;
#endif
}

int CopyToStandardOutput(int fd) {
  char piece[65536];
  for (;;) {
    const ssize_t got = ::read(fd, piece, sizeof piece);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t written = ::write(STDOUT_FILENO, piece + done, size_t(got - done));
      if (written < 0) {
        if (errno == EINTR) continue;
        return errno;
      }
      done += written;
    }
  }
}

}  // namespace

int WriteMIDIToStandardOutput(const QuorbelUTF16Unit* notes, int32_t noteTicks) {
  std::string scratchPath;
  const int scratch = OpenScratchFile(scratchPath);
  if (scratch < 0) return errno;
  UTF16String path;
  size_t badOffset = 0;
  UTF8ToUTF16(scratchPath, path, badOffset);
  int error = 0;
  if (WriteMIDI(notes, noteTicks, path.c_str()) != QUORBEL_OK) error = errno;
  const int written = ReopenScratchFile(scratch, scratchPath);  // and removes its name
  if (error == 0) error = written < 0 ? errno : CopyToStandardOutput(written);
  if (written >= 0 && written != scratch) ::close(written);
  if (QUORBEL_HAVE_PROC_SUPER_MAGIC) ::close(scratch);
  return error;
}

}  // namespace quorbel::cli
