#include "PathTarget_posix.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "QuorbelFeatures.h"
#include "SystemCalls_posix.h"

#if QUORBEL_HAVE_PROC_SUPER_MAGIC
#include <linux/magic.h>
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
// kernel disagree for a moment; the walk is tried again this many times,
// and the call then fails rather than trust a walk nobody confirmed.
constexpr int kMaxWalks = 8;
// Walk's word for "a name changed under the walk": walk again.
constexpr int kChangedMeanwhile = -1;

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
  return systemCalls.fstatfs(directory, &system) == 0 && system.f_type == PROC_SUPER_MAGIC;
#else
  (void)directory;
  return false;
#endif
}

bool SameFile(const FileStatus& a, const FileStatus& b) {
  return a.device == b.device && a.inode == b.inode;
}

// Whether the kernel guards links in sticky, world-writable directories
// (fs.protected_symlinks). Asked afresh each time such a link is met, which
// is seldom; where it cannot be read the guard is assumed, which can only
// refuse more than the kernel would, never less.
bool LinksProtected() {
  const int fd = systemCalls.openat(AT_FDCWD, "/proc/sys/fs/protected_symlinks",
                                    O_RDONLY | O_CLOEXEC, 0);
  if (fd < 0) return true;
  char value = '1';
  const ssize_t size = systemCalls.read(fd, &value, 1);
  systemCalls.close(fd);
  return size != 1 || value != '0';
}

// The kernel follows a link in a sticky, world-writable directory only for
// the link's owner or where the directory's owner owns the link too, so
// that another user's link there cannot lead the caller's write astray.
[[nodiscard]] int MayFollow(const FileStatus& link, int directory) {
  if (link.owner == systemCalls.geteuid()) return 0;
  FileStatus parent;
  if (const int error = StatusAt(directory, "", parent)) return error;
  constexpr mode_t kShared = S_ISVTX | S_IWOTH;
  if ((parent.mode & kShared) != kShared || parent.owner == link.owner) return 0;
  return LinksProtected() ? EACCES : 0;
}

// Reads the link `name` in `directory`, whose status the walk has seen,
// once it may be followed. What is checked is what is read: the link is
// held open by itself (or, without O_PATH, seen again after the read), so
// that another link put in its place meanwhile shows as a change.
[[nodiscard]] int ReadLink(int directory, const char* name, const FileStatus& seen,
                           char* target, size_t size) {
#if QUORBEL_HAVE_O_PATH
  const int link = systemCalls.openat(directory, name, O_PATH | O_NOFOLLOW | O_CLOEXEC, 0);
  if (link < 0) return errno == ENOENT ? kChangedMeanwhile : errno;
  FileStatus held;
  int error = StatusAt(link, "", held);
  if (error == 0 && (!S_ISLNK(held.mode) || !SameFile(held, seen))) error = kChangedMeanwhile;
  if (error == 0) error = MayFollow(held, directory);
  const ssize_t length = error == 0 ? systemCalls.readlinkat(link, "", target, size) : 0;
  if (length < 0) error = errno;
  systemCalls.close(link);
#else
  int error = MayFollow(seen, directory);
  const ssize_t length = error == 0 ? systemCalls.readlinkat(directory, name, target, size) : 0;
  if (length < 0) error = errno;
  FileStatus after;
  if (error == 0 && (StatusAt(directory, name, after) != 0 || !SameFile(after, seen) ||
                     after.owner != seen.owner)) {
    error = kChangedMeanwhile;
  }
#endif
  if (error != 0) return error;
  if (size_t(length) == size) return ENAMETOOLONG;
  target[length] = '\0';
  return 0;
}

}  // namespace

int StatusAt(int directory, const char* name, FileStatus& status) {
#if QUORBEL_HAVE_STATX
  const int flags = AT_SYMLINK_NOFOLLOW | (*name == '\0' ? AT_EMPTY_PATH : 0);
  struct statx result;
  if (systemCalls.statx(directory, name, flags,
                        STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID | STATX_INO,
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
  const int error = *name == '\0' ? systemCalls.fstat(directory, &result)
                                  : systemCalls.fstatat(directory, name, &result,
                                                        AT_SYMLINK_NOFOLLOW);
  if (error != 0) return errno;
  status = FileStatus{result.st_mode, result.st_uid, result.st_gid, result.st_dev,
                      result.st_ino, false, false};
#endif
  return 0;
}

PathTarget::~PathTarget() {
  if (directory_ >= 0) systemCalls.close(directory_);
}

int PathTarget::ReleaseDirectory() {
  const int fd = directory_;
  directory_ = -1;
  return fd;
}

// Moves into `name`, relative to the directory reached so far (or to the
// working directory, or absolute). Returns 0 or errno.
int PathTarget::Enter(const char* name) {
  const int next =
      systemCalls.openat(directory_ >= 0 ? directory_ : AT_FDCWD, name, kDirectoryFlags, 0);
  if (next < 0) return errno;
  if (directory_ >= 0) systemCalls.close(directory_);
  directory_ = next;
  return 0;
}

int PathTarget::Resolve(const char* path) {
  for (int walks = 0; walks < kMaxWalks; ++walks) {
    const int error = Walk(path);
    if (error == kChangedMeanwhile) continue;
    if (error != 0) return error;
    if (!throughLinks_ || procLink_) return 0;
    // The kernel's own lookup of the whole path must agree with the walk:
    // it refuses what it refuses, and a rename by another writer between
    // the steps of the walk shows as a different file.
    struct stat followed;
    const bool followedExists = systemCalls.stat(path, &followed) == 0;
    if (!followedExists && errno != ENOENT) return errno;
    if (followedExists == exists_ &&
        (!exists_ || (status_.device == followed.st_dev && status_.inode == followed.st_ino))) {
      return 0;
    }
  }
  // The path kept changing under the walk: it is not taken on its own word.
  return EAGAIN;
}

// The walk keeps the directory of each step open, so that the final one is
// the very directory the last link pointed into, whatever is renamed later.
int PathTarget::Walk(const char* path) {
  if (directory_ >= 0) systemCalls.close(directory_);
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
    // Relative to the link's directory, which is open.
    if (const int error = ReadLink(directory_, name_, status_, walk, sizeof walk)) return error;
  }
}

}  // namespace quorbel
