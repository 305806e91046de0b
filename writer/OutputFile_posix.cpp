#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "OutputFile.h"

namespace quorbel {
namespace {

constexpr int kMaxSymbolicLinks = 40;  // as the kernel allows in one lookup
constexpr int kTemporaryNameTries = 100;

// Opening a FIFO for writing waits for a reader, for ever if none comes:
// the open does not wait, and a FIFO without a reader fails with ENXIO.
// Writes block as usual once the file is open.
int OpenInPlace(int directory, const char* name) {
  const int fd = ::openat(directory, name, O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
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

// A name no other call, thread or process is likely to choose at the same
// moment; O_EXCL makes sure, and a clash only costs another try.
void MakeTemporaryName(char (&name)[32]) {
  static std::atomic<uint64_t> calls{0};
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  uint64_t value = (uint64_t(::getpid()) << 40) ^ uint64_t(now.tv_nsec) ^
                   (uint64_t(now.tv_sec) << 20) ^
                   (calls.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15u);
  value ^= value >> 29;
  value *= 0xBF58476D1CE4E5B9u;
  value ^= value >> 32;
  std::snprintf(name, sizeof name, ".quorbel-%016llx.tmp",
                static_cast<unsigned long long>(value));
}

}  // namespace

int OutputFile::Open(const NativePathChar* path) {
  Discard();
  if (*path == '\0') return ENOENT;

  // A device, a FIFO or a socket has no file to replace: write to it in
  // place, reached by the kernel's own lookup, which also understands
  // /dev/stdout and the other links of /proc.
  struct stat named;
  if (::stat(path, &named) == 0 && !S_ISREG(named.st_mode)) {
    if (S_ISDIR(named.st_mode)) return EISDIR;
    const int fd = OpenInPlace(AT_FDCWD, path);
    if (fd < 0) return errno;
    handle_ = fd;
    inPlace_ = true;
    return 0;
  }

  // Walk to the file the path names in the end, through any symbolic
  // links, keeping the directory it is in open: the temporary is created
  // and renamed there, so the rename replaces exactly that file.
  char walk[PATH_MAX];
  if (std::strlen(path) >= sizeof walk) return ENAMETOOLONG;
  std::strcpy(walk, path);
  int directory = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (directory < 0) return errno;
  struct stat target {};
  bool exists = false;
  for (int links = 0;; ++links) {
    if (links > kMaxSymbolicLinks) {
      ::close(directory);
      return ELOOP;
    }
    char* slash = std::strrchr(walk, '/');
    char* name = slash != nullptr ? slash + 1 : walk;
    if (slash != nullptr) {
      const char* directoryPart = walk;
      if (slash == walk) {
        directoryPart = "/";
      } else {
        *slash = '\0';
      }
      const int next = ::openat(directory, directoryPart, O_PATH | O_DIRECTORY | O_CLOEXEC);
      const int error = errno;
      ::close(directory);
      if (next < 0) return error;
      directory = next;
    }
    if (*name == '\0') {  // "dir/": a directory, never a file
      ::close(directory);
      return EISDIR;
    }
    if (std::strlen(name) > NAME_MAX) {
      ::close(directory);
      return ENAMETOOLONG;
    }
    std::strcpy(targetName_, name);
    if (::fstatat(directory, targetName_, &target, AT_SYMLINK_NOFOLLOW) != 0) {
      const int error = errno;
      if (error != ENOENT) {
        ::close(directory);
        return error;
      }
      break;  // a new file
    }
    if (!S_ISLNK(target.st_mode)) {
      exists = true;
      break;
    }
    const ssize_t size = ::readlinkat(directory, targetName_, walk, sizeof walk);
    if (size < 0 || size == ssize_t(sizeof walk)) {
      const int error = size < 0 ? errno : ENAMETOOLONG;
      ::close(directory);
      return error;
    }
    walk[size] = '\0';  // relative to the link's directory, which is open
  }

  if (exists && S_ISDIR(target.st_mode)) {
    ::close(directory);
    return EISDIR;
  }
  if (exists && !S_ISREG(target.st_mode)) {
    const int fd = OpenInPlace(directory, targetName_);
    const int error = errno;
    ::close(directory);
    if (fd < 0) return error;
    handle_ = fd;
    inPlace_ = true;
    return 0;
  }

  const mode_t mode = exists ? (target.st_mode & 07777) : 0666;
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < kTemporaryNameTries; ++tries) {
    MakeTemporaryName(temporaryName_);
    fd = ::openat(directory, temporaryName_, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    const int error = errno;
    ::close(directory);
    return error;
  }
  // The replacement keeps the owner and the permission bits of the file it
  // replaces (the umask may have taken bits away at creation). Where the
  // system refuses, the replacement is still the caller's own file.
  if (exists) {
    if (target.st_uid != ::geteuid() || target.st_gid != ::getegid()) {
      (void)::fchown(fd, target.st_uid, target.st_gid);
    }
    (void)::fchmod(fd, mode);
  }
  handle_ = fd;
  directory_ = directory;
  inPlace_ = false;
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
  // (NFS, some FUSE systems), so the file is not put in place.
  int error = ::close(fd) == 0 ? 0 : errno;
  if (!inPlace_) {
    if (error == 0 &&
        ::renameat(directory_, temporaryName_, directory_, targetName_) != 0) {
      error = errno;
    }
    if (error != 0) ::unlinkat(directory_, temporaryName_, 0);
    ::close(directory_);
    directory_ = -1;
  }
  return error;
}

void OutputFile::Discard() {
  if (handle_ < 0) return;
  ::close(static_cast<int>(handle_));
  handle_ = -1;
  if (!inPlace_) {
    ::unlinkat(directory_, temporaryName_, 0);
    ::close(directory_);
    directory_ = -1;
  }
}

}  // namespace quorbel
