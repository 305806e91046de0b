#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "OutputFile.h"

namespace quorbel {
namespace {

// Opening a FIFO for writing waits for a reader, for ever if none comes:
// the open does not wait, and a FIFO without a reader fails with ENXIO.
// Writes block as usual once the file is open.
int OpenForWriting(const char* path) {
  const int fd =
      ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) return -1;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

// An incomplete file must not stay behind. Only the regular file that was
// opened is removed: a device or a pipe named by the path is someone
// else's (unlinking /dev/full as root would delete the device), and
// unlinking a symbolic link would leave the partial file at its target and
// lose the link, so a file reached any other way is emptied instead.
// Asked only on failure, so that the common path pays no system call.
void RemoveIncomplete(int fd, const char* path) {
  struct stat opened, named;
  if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) return;
  if (::lstat(path, &named) == 0 && named.st_dev == opened.st_dev &&
      named.st_ino == opened.st_ino) {
    ::unlink(path);
  } else {
    ::ftruncate(fd, 0);
  }
}

}  // namespace

int OutputFile::Open(const NativePathChar* path) {
  Discard();
  const int fd = OpenForWriting(path);
  if (fd < 0) return errno;
  path_ = path;
  handle_ = fd;
  return 0;
}

int OutputFile::Write(const uint8_t* bytes, size_t size) {
  const int fd = static_cast<int>(handle_);
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;  // no progress and no reason: give up
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

int OutputFile::WriteAt(uint64_t offset, const uint8_t* bytes, size_t size) {
  const int fd = static_cast<int>(handle_);
  while (size > 0) {
    const ssize_t written = ::pwrite(fd, bytes, size, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes += written;
    offset += static_cast<uint64_t>(written);
    size -= static_cast<size_t>(written);
  }
  return 0;
}

int OutputFile::Close() {
  if (handle_ < 0) return EBADF;
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  // A failed close can mean that written data never reached the file
  // (NFS, some FUSE systems), so the file is not kept. The descriptor is
  // gone by then; the path, if it still names a regular file, is removed.
  if (::close(fd) != 0) {
    const int error = errno;
    struct stat named;
    if (::lstat(path_, &named) == 0 && S_ISREG(named.st_mode)) ::unlink(path_);
    return error;
  }
  return 0;
}

void OutputFile::Discard() {
  if (handle_ < 0) return;
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  RemoveIncomplete(fd, path_);
  ::close(fd);
}

}  // namespace quorbel
