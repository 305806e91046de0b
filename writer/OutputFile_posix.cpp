#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>  // renameat
#include <cstring>
#include <string_view>

#include "OutputFile.h"

namespace quorbel {
namespace {

constexpr int kMaxSymbolicLinks = 40;  // as the kernel allows in one lookup
constexpr int kTemporaryNameTries = 100;

// A name no other call, thread or process is likely to choose at the same
// moment; O_EXCL makes sure, and a clash only costs another try.
void MakeTemporaryName(char (&name)[32]) {
  static std::atomic<uint64_t> calls{0};
  timespec now{};
  ::clock_gettime(CLOCK_REALTIME, &now);
  // The address of a local differs between processes (and threads) as
  // their stacks do, and costs no system call, unlike the process id.
  uint64_t value = uint64_t(reinterpret_cast<uintptr_t>(&now)) ^ uint64_t(now.tv_nsec) ^
                   (uint64_t(now.tv_sec) << 32) ^
                   (calls.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15u);
  value ^= value >> 29;
  value *= 0xBF58476D1CE4E5B9u;
  value ^= value >> 32;
  static constexpr char kPrefix[] = ".quorbel-";
  static constexpr char kDigits[] = "0123456789abcdef";
  char* out = name;
  for (const char c : std::string_view(kPrefix)) *out++ = c;
  for (int shift = 60; shift >= 0; shift -= 4) *out++ = kDigits[(value >> shift) & 0xF];
  for (const char c : std::string_view(".tmp")) *out++ = c;
  *out = '\0';
}

// The directory a lookup has reached; closed when the lookup gives up.
class Directory {
 public:
  Directory() = default;
  Directory(const Directory&) = delete;
  Directory& operator=(const Directory&) = delete;
  ~Directory() {
    if (fd_ != AT_FDCWD) ::close(fd_);
  }
  int fd() const { return fd_; }
  // Moves into `name` (relative to here, or absolute). Returns 0 or errno.
  int Enter(const char* name) {
    const int next = ::openat(fd_, name, O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (next < 0) return errno;
    if (fd_ != AT_FDCWD) ::close(fd_);
    fd_ = next;
    return 0;
  }
  int Release() {
    const int fd = fd_;
    fd_ = AT_FDCWD;
    return fd;
  }

 private:
  int fd_ = AT_FDCWD;
};

}  // namespace

int OutputFile::Open(const NativePathChar* path) {
  Discard();
  if (*path == '\0') return ENOENT;

  // Walk to the file the path names in the end, through any symbolic
  // links, keeping the directory it is in open: the temporary is created
  // and renamed there, so the rename replaces exactly that file.
  char walk[PATH_MAX];
  if (std::strlen(path) >= sizeof walk) return ENAMETOOLONG;
  std::strcpy(walk, path);
  Directory directory;
  struct stat target {}, followed {};
  bool exists = false, followedLinks = false, followedExists = false;
  for (int links = 0;; ++links) {
    if (links > kMaxSymbolicLinks) return ELOOP;
    char* slash = std::strrchr(walk, '/');
    char* name = slash != nullptr ? slash + 1 : walk;
    if (slash == walk) {
      if (const int error = directory.Enter("/")) return error;
    } else if (slash != nullptr) {
      *slash = '\0';
      if (const int error = directory.Enter(walk)) return error;
    } else if (directory.fd() == AT_FDCWD) {
      // Held open, so that a change of working directory cannot move it.
      if (const int error = directory.Enter(".")) return error;
    }
    if (*name == '\0') return EISDIR;  // "dir/" names no file
    if (std::strlen(name) > NAME_MAX) return ENAMETOOLONG;
    std::strcpy(targetName_, name);
    if (::fstatat(directory.fd(), targetName_, &target, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno != ENOENT) return errno;
      break;  // a new file
    }
    if (!S_ISLNK(target.st_mode)) {
      exists = true;
      break;
    }
    // The kernel's own lookup of the whole path says where the links lead
    // in the end, and refuses what it refuses (a link the system protects,
    // a directory without search permission): a walk of our own must not
    // get further than the kernel would. A device, a FIFO or a pipe there
    // is written in place.
    if (!followedLinks) {
      followedLinks = true;
      if (::stat(path, &followed) == 0) {
        followedExists = true;
        if (S_ISDIR(followed.st_mode)) return EISDIR;
        if (!S_ISREG(followed.st_mode)) return OpenInPlace(AT_FDCWD, path);
      } else if (errno != ENOENT) {
        return errno;
      }
    }
    // A link that procfs makes (/proc/self/fd/1, behind /dev/stdout) stands
    // for an open file, not for a path whose file could be replaced.
    struct statfs system;
    if (::fstatfs(directory.fd(), &system) == 0 && system.f_type == PROC_SUPER_MAGIC) {
      return OpenInPlace(AT_FDCWD, path);
    }
    const ssize_t size = ::readlinkat(directory.fd(), targetName_, walk, sizeof walk);
    if (size < 0) return errno;
    if (size == ssize_t(sizeof walk)) return ENAMETOOLONG;
    walk[size] = '\0';  // relative to the link's directory, which is open
  }

  if (exists && S_ISDIR(target.st_mode)) return EISDIR;
  // A device, a FIFO or a socket has no file to replace: write in place.
  if (exists && !S_ISREG(target.st_mode)) return OpenInPlace(directory.fd(), targetName_);
  // Where the walk and the kernel disagree (a file deleted while open, a
  // link renamed meanwhile), the kernel's file is the one meant.
  if (followedLinks &&
      (followedExists != exists ||
       (exists && (followed.st_dev != target.st_dev || followed.st_ino != target.st_ino)))) {
    return OpenInPlace(AT_FDCWD, path);
  }
  // A file the caller may not write is not replaced either, as an open for
  // writing would refuse it.
  if (exists && ::faccessat(directory.fd(), targetName_, W_OK, AT_EACCESS) != 0) return errno;

  const mode_t mode = exists ? (target.st_mode & 07777) : 0666;
  int fd = -1;
  for (int tries = 0; fd < 0 && tries < kTemporaryNameTries; ++tries) {
    MakeTemporaryName(temporaryName_);
    fd = ::openat(directory.fd(), temporaryName_, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) return errno;
  replacing_ = exists;
  replacedOwner_ = target.st_uid;
  replacedGroup_ = target.st_gid;
  replacedMode_ = mode;
  handle_ = fd;
  directory_ = directory.Release();
  inPlace_ = false;
  return 0;
}

// Opening a FIFO for writing waits for a reader, for ever if none comes:
// the open does not wait, and a FIFO without a reader fails with ENXIO.
// Writes block as usual once the file is open.
int OutputFile::OpenInPlace(int directory, const char* name) {
  const int fd = ::openat(directory, name, O_WRONLY | O_TRUNC | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno;
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  handle_ = fd;
  inPlace_ = true;
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
  if (!inPlace_ && replacing_) KeepOwnerAndMode(fd);
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

// The replacement keeps the owner and the permission bits of the file it
// replaces (the umask may have taken bits away at creation). It is done
// last, since a write by anyone but root clears set-user-ID and
// set-group-ID bits. Where the system refuses, the replacement is still the
// caller's own file.
void OutputFile::KeepOwnerAndMode(int fd) const {
  struct stat created;
  if (::fstat(fd, &created) != 0) return;
  if (created.st_uid != replacedOwner_ || created.st_gid != replacedGroup_) {
    (void)::fchown(fd, replacedOwner_, replacedGroup_);  // clears set-id bits
    created.st_mode = 0;
  }
  if ((created.st_mode & 07777) != replacedMode_) (void)::fchmod(fd, replacedMode_);
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
