#include "PathTarget_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "QuorbelFeatures.h"

#if QUORBEL_HAVE_PROC_SUPER_MAGIC
#include <linux/magic.h>
#include <sys/statfs.h>
#endif
#if QUORBEL_HAVE_STATX
#include <sys/sysmacros.h>  // makedev
#endif
#if QUORBEL_HAVE_STATX && !defined(STATX_ATTR_MOUNT_ROOT)
#define STATX_ATTR_MOUNT_ROOT 0x00002000
#endif

namespace quorbel {
namespace {

constexpr int kMaxSymbolicLinks = 40;  // as the kernel allows in one lookup
// Another writer renaming files along the path can make the walk and the
// kernel disagree for a moment; the walk is tried again this many times.
constexpr int kMaxWalks = 4;

#if QUORBEL_HAVE_O_PATH
constexpr int kDirectoryFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#elif defined(O_SEARCH)
constexpr int kDirectoryFlags = O_SEARCH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

bool InProcFileSystem(int directory) {
#if QUORBEL_HAVE_PROC_SUPER_MAGIC
  struct statfs system;
  return ::fstatfs(directory, &system) == 0 && system.f_type == PROC_SUPER_MAGIC;
#else
  (void)directory;
  return false;
#endif
}

bool SameFile(const FileStatus& a, const struct stat& b) {
  return a.device == b.st_dev && a.inode == b.st_ino;
}

}  // namespace

int StatusAt(int directory, const char* name, FileStatus& status) {
#if QUORBEL_HAVE_STATX
  const int flags = AT_SYMLINK_NOFOLLOW | (*name == '\0' ? AT_EMPTY_PATH : 0);
  struct statx result;
  if (::statx(directory, name, flags, STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID | STATX_INO,
              &result) != 0) {
    return errno;
  }
  status.mode = result.stx_mode;
  status.owner = result.stx_uid;
  status.group = result.stx_gid;
  status.device = makedev(result.stx_dev_major, result.stx_dev_minor);
  status.inode = result.stx_ino;
  status.appendOnly = (result.stx_attributes & STATX_ATTR_APPEND) != 0;
  status.mountRoot = (result.stx_attributes & result.stx_attributes_mask &
                      STATX_ATTR_MOUNT_ROOT) != 0;
#else
  struct stat result;
  const int statFlags = *name == '\0' ? 0 : AT_SYMLINK_NOFOLLOW;
  const int error = *name == '\0' ? ::fstat(directory, &result)
                                  : ::fstatat(directory, name, &result, statFlags);
  if (error != 0) return errno;
  status = FileStatus{result.st_mode, result.st_uid, result.st_gid, result.st_dev,
                      result.st_ino, false, false};
#endif
  return 0;
}

PathTarget::~PathTarget() {
  if (directory_ >= 0) ::close(directory_);
}

int PathTarget::ReleaseDirectory() {
  const int fd = directory_;
  directory_ = -1;
  return fd;
}

// Moves into `name`, relative to the directory reached so far (or to the
// working directory, or absolute). Returns 0 or errno.
int PathTarget::Enter(const char* name) {
  const int next = ::openat(directory_ >= 0 ? directory_ : AT_FDCWD, name, kDirectoryFlags);
  if (next < 0) return errno;
  if (directory_ >= 0) ::close(directory_);
  directory_ = next;
  return 0;
}

int PathTarget::Resolve(const char* path) {
  for (int walks = 1;; ++walks) {
    if (const int error = Walk(path)) return error;
    if (!throughLinks_ || procLink_) return 0;
    // The kernel's own lookup of the whole path must agree with the walk:
    // it refuses what it refuses, and a rename by another writer between
    // the steps of the walk shows as a different file.
    struct stat followed;
    const bool followedExists = ::stat(path, &followed) == 0;
    if (!followedExists && errno != ENOENT) return errno;
    const bool agree = followedExists == exists_ &&
                       (!exists_ || SameFile(status_, followed));
    if (agree || walks == kMaxWalks) return 0;
  }
}

// The walk keeps the directory of each step open, so that the final one is
// the very directory the last link pointed into, whatever is renamed later.
int PathTarget::Walk(const char* path) {
  if (directory_ >= 0) ::close(directory_);
  directory_ = -1;
  exists_ = throughLinks_ = procLink_ = false;
  char walk[PATH_MAX];
  if (std::strlen(path) >= sizeof walk) return ENAMETOOLONG;
  std::strcpy(walk, path);
  for (int links = 0;; ++links) {
    if (links > kMaxSymbolicLinks) return ELOOP;
    char* slash = std::strrchr(walk, '/');
    char* name = slash != nullptr ? slash + 1 : walk;
    if (slash == walk) {
      if (const int error = Enter("/")) return error;
    } else if (slash != nullptr) {
      *slash = '\0';
      if (const int error = Enter(walk)) return error;
    } else if (directory_ < 0) {
      // Held open, so that a change of working directory cannot move it.
      if (const int error = Enter(".")) return error;
    }
    if (*name == '\0') return EISDIR;  // "dir/" names no file
    if (std::strlen(name) > NAME_MAX) return ENAMETOOLONG;
    std::strcpy(name_, name);
    if (const int error = StatusAt(directory_, name_, status_)) {
      return error == ENOENT ? 0 : error;  // ENOENT: a new file
    }
    exists_ = true;
    if (!S_ISLNK(status_.mode)) return 0;
    throughLinks_ = true;
    if (InProcFileSystem(directory_)) {
      procLink_ = true;
      return 0;
    }
    exists_ = false;
    const ssize_t size = ::readlinkat(directory_, name_, walk, sizeof walk);
    if (size < 0) return errno;
    if (size == ssize_t(sizeof walk)) return ENAMETOOLONG;
    walk[size] = '\0';  // relative to the link's directory, which is open
  }
}

}  // namespace quorbel
