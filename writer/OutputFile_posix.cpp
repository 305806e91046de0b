#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "OutputFile.h"

namespace quorbel {

int OutputFile::Open(const NativePathChar* path) {
  Discard();
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) return errno;
  path_ = path;
  handle_ = fd;
  return 0;
}

namespace {

// Only a regular file is removed: a device or a pipe named by the path is
// someone else's, and unlinking /dev/full as root would delete the device.
// Asked only on failure, so the common path pays no extra system call.
bool IsRegularFile(int fd) {
  struct stat status;
  return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace

int OutputFile::Write(const uint8_t* bytes, size_t size) {
  const int fd = static_cast<int>(handle_);
  while (size > 0) {
    const ssize_t written = ::write(fd, bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
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
  // gone by then, so the path says what kind of file it was.
  if (::close(fd) != 0) {
    const int error = errno;
    struct stat status;
    if (::lstat(path_, &status) == 0 && S_ISREG(status.st_mode)) ::unlink(path_);
    return error;
  }
  return 0;
}

void OutputFile::Discard() {
  if (handle_ < 0) return;
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  const bool remove = IsRegularFile(fd);
  ::close(fd);
  if (remove) ::unlink(path_);
}

}  // namespace quorbel
