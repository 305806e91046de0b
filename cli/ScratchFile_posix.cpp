#include "ScratchFile_posix.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "QuorbelFeatures.h"

namespace quorbel::cli {
namespace {

#if QUORBEL_HAVE_PROC_SUPER_MAGIC
// A file with no name (in memory where the system has that), named through
// /proc, which the library writes as the open file it is.
bool OpenUnnamedFile(ScratchFile& scratch) {
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
  scratch.fd = fd;
  scratch.path = "/proc/self/fd/" + std::to_string(fd);
  scratch.libraryPath.assign(scratch.path.begin(), scratch.path.end());  // ASCII
  scratch.named = false;
  return fd >= 0;
}
#endif

// A new file of our own in the temporary directory.
bool OpenNamedFile(ScratchFile& scratch) {
  const char* directory = std::getenv("TMPDIR");
  scratch.path = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
                 "/quorbel-XXXXXX";
  // WriteMIDI takes the name as UTF-16, which a TMPDIR that is not UTF-8
  // has no form in; cut short at its bad byte, it would name another file.
  size_t badOffset = 0;
  if (!UTF8ToUTF16(scratch.path, scratch.libraryPath, badOffset)) {
    errno = EILSEQ;
    return false;
  }
  scratch.fd = ::mkstemp(scratch.path.data());
  if (scratch.fd < 0) return false;
  ::close(scratch.fd);
  // mkstemp's letters are ASCII, a unit each in UTF-16 too.
  std::copy(scratch.path.end() - 6, scratch.path.end(), scratch.libraryPath.end() - 6);
  scratch.named = true;
  return true;
}

}  // namespace

bool OpenScratchFile(ScratchFile& scratch) {
#if QUORBEL_HAVE_PROC_SUPER_MAGIC
  // /proc may be missing at run time (a container, a chroot) even where
  // the system has it.
  if (::access("/proc/self/fd", X_OK) == 0) return OpenUnnamedFile(scratch);
#endif
  return OpenNamedFile(scratch);
}

int ReopenScratchFile(const ScratchFile& scratch, bool written) {
  if (!scratch.named) {
    if (written && ::lseek(scratch.fd, 0, SEEK_SET) == 0) return scratch.fd;
    ::close(scratch.fd);
    return -1;
  }
  const int reopened = written ? ::open(scratch.path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  ::unlink(scratch.path.c_str());
  return reopened;
}

}  // namespace quorbel::cli
