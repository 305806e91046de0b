#include "StandardOutput.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "QuorbelFeatures.h"
#include "UTF8.h"

namespace quorbel::cli {
namespace {

// A file with no name, in memory where the system has that.
int OpenAnonymousFile() {
#if QUORBEL_HAVE_MEMFD_CREATE
  const int memory = ::memfd_create("quorbel", MFD_CLOEXEC);
  if (memory >= 0) return memory;
#endif
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return -1;
  const int fd = ::dup(::fileno(file));
  std::fclose(file);
  return fd;
}

// The name under which an open descriptor can be opened anew.
std::string DescriptorPath(int fd) {
  const std::string proc = "/proc/self/fd/" + std::to_string(fd);
  if (::access(proc.c_str(), F_OK) == 0) return proc;
  return "/dev/fd/" + std::to_string(fd);
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
  const int fd = OpenAnonymousFile();
  if (fd < 0) return errno;
  UTF16String path;
  size_t badOffset = 0;
  UTF8ToUTF16(DescriptorPath(fd), path, badOffset);
  int error = 0;
  if (WriteMIDI(notes, noteTicks, path.c_str()) != QUORBEL_OK) {
    error = errno;
  } else if (::lseek(fd, 0, SEEK_SET) != 0) {
    error = errno;
  } else {
    error = CopyToStandardOutput(fd);
  }
  ::close(fd);
  return error;
}

}  // namespace quorbel::cli
