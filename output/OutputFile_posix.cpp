#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <time.h>

#include <atomic>
#include <cerrno>
#include <limits>
#include <cstdio>  // renameat

#include "OutputFile.h"
#include "PathTarget_posix.h"
#include "QuorbelFeatures.h"
#include "ReplacedMetadata_posix.h"
#include "SystemCalls_posix.h"

namespace quorbel {
namespace {

constexpr int kTemporaryNameTries = 100;

uint64_t Now() {
  timespec now{};
  systemCalls.clock_gettime(CLOCK_MONOTONIC, &now);
  return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}
using Kind = OutputFileState::Kind;

// Whether a descriptor alone names an unnamed file (linkat with
// AT_EMPTY_PATH): a kernel before 6.10 allows that only with
// CAP_DAC_READ_SEARCH. Once it worked it is tried first; once refused,
// /proc serves instead, asked afresh each call. A refusal after it worked
// (privilege dropped) is learnt at that failure.
#ifdef AT_EMPTY_PATH
enum class EmptyPathLink : uint8_t { kUntried, kWorks, kRefused };
std::atomic<EmptyPathLink> emptyPathLink{EmptyPathLink::kUntried};
#endif

#if QUORBEL_HAVE_O_TMPFILE  // and so Linux, which has AT_EMPTY_PATH
bool UnnamedFilesCanBeNamed() {
  return emptyPathLink.load(std::memory_order_relaxed) == EmptyPathLink::kWorks ||
         ProcessFileDescriptorsVisible();
}
#endif

// Gives the unnamed file `fd` the name `name`, which must not exist yet.
[[nodiscard]] int NameUnnamed(int fd, int directory, const char* name) {
#ifdef AT_EMPTY_PATH
  if (emptyPathLink.load(std::memory_order_relaxed) != EmptyPathLink::kRefused) {
    if (systemCalls.linkat(fd, "", directory, name, AT_EMPTY_PATH) == 0) {
      emptyPathLink.store(EmptyPathLink::kWorks, std::memory_order_relaxed);
      return 0;
    }
    if (errno != ENOENT && errno != EPERM && errno != EINVAL && errno != ENOSYS) return errno;
    emptyPathLink.store(EmptyPathLink::kRefused, std::memory_order_relaxed);
  }
#endif
  char self[32];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  return systemCalls.linkat(AT_FDCWD, self, directory, name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}

// A rename over the file would be refused although the caller may write
// it: a sticky directory where neither the file nor the directory is the
// caller's, an append-only directory, or a file mounted over another.
bool RenameRefused(const PathTarget& target) {
  if (target.status().mountRoot) return true;
  FileStatus directory;
  if (StatusAt(target.directory(), "", directory) != 0) return false;
  if (directory.appendOnly) return true;
  if ((directory.mode & S_ISVTX) == 0) return false;
  const uid_t caller = systemCalls.geteuid();
  return caller != 0 && target.status().owner != caller && directory.owner != caller;
}

// Opening a FIFO for writing waits for a reader, for ever if none comes:
// the open does not wait, and a FIFO without a reader fails with ENXIO.
// Writes block as usual once the file is open.
[[nodiscard]] int OpenWithoutWaiting(int directory, const char* name, int flags) {
  const int fd =
      systemCalls.openat(directory, name, flags | O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0);
  if (fd < 0) return -errno;
  const int status = systemCalls.fcntl(fd, F_GETFL, 0);
  if (status < 0 || systemCalls.fcntl(fd, F_SETFL, status & ~O_NONBLOCK) < 0) {
    const int error = errno;
    systemCalls.close(fd);
    return -error;
  }
  return fd;
}

// The temporary goes beside the target, so that the rename stays within
// one directory. Where the system has them, it is unnamed until complete:
// a process killed meanwhile leaves nothing behind.
[[nodiscard]] int OpenTemporary(OutputFileState& state, PathTarget& target, uint32_t mode) {
  const bool newFile = !target.exists();
  int fd = -1;
#if QUORBEL_HAVE_O_TMPFILE
  if (UnnamedFilesCanBeNamed()) {
    fd = systemCalls.openat(target.directory(), ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    // Some file systems have no unnamed files: a named one serves there.
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    state.unnamed = fd >= 0;
  }
#endif
  // A named temporary could be neither renamed nor removed in an
  // append-only directory: a new file there is refused before one exists.
  // (An unnamed one is linked in under its final name, which such a
  // directory allows.)
  FileStatus directory;
  if (fd < 0 && newFile && StatusAt(target.directory(), "", directory) == 0 &&
      directory.appendOnly) {
    return EPERM;
  }
  for (int tries = 0; fd < 0 && tries < kTemporaryNameTries; ++tries) {
    MakeTemporaryName(state.temporaryName, Now());
    fd = systemCalls.openat(target.directory(), state.temporaryName,
                  O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0 && errno != EEXIST) return errno;
    state.named = fd >= 0;
  }
  if (fd < 0) return errno;
  std::snprintf(state.targetName, sizeof state.targetName, "%s", target.name());
  state.fd = fd;
  state.directory = target.ReleaseDirectory();
  state.kind = Kind::kReplacement;
  return 0;
}

// A write in place that cannot finish would leave the old file half new:
// a size past the caller's file size limit, or more than the file system
// can give, is refused before the first byte changes. Where space cannot
// be reserved, the free space is counted instead, with room for the file
// system's own blocks; a write can then still fail midway on an I/O error,
// a crash, or another writer taking the space first.
[[nodiscard]] int ReserveInPlace(int fd, uint64_t size) {
  struct rlimit limit;
  if (systemCalls.getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      size > uint64_t(limit.rlim_cur)) {
    return EFBIG;
  }
  if (size > uint64_t(std::numeric_limits<off_t>::max())) return EFBIG;
  if (size == 0) return 0;
#if QUORBEL_HAVE_FALLOCATE
  if (systemCalls.fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size)) == 0) return 0;
  if (errno != EOPNOTSUPP && errno != ENOSYS) return errno;
#endif
  struct stat file;
  struct statvfs system;
  if (systemCalls.fstat(fd, &file) != 0 || systemCalls.fstatvfs(fd, &system) != 0) return 0;
  const uint64_t held = uint64_t(file.st_blocks) * 512;
  if (size <= held) return 0;
  const uint64_t blocks = systemCalls.geteuid() == 0 ? system.f_bfree : system.f_bavail;
  const uint64_t free = blocks * system.f_frsize;
  const uint64_t needed = size - held;
  const uint64_t overhead = needed / 64 + 16 * uint64_t(system.f_frsize);  // indirect blocks
  return needed + overhead > free ? ENOSPC : 0;
}

// A regular file that cannot be replaced is overwritten where it is. Its
// old bytes stay until the new file's room is made sure of: a full disk, a
// quota or a file size limit then refuses the call with the old file whole.
[[nodiscard]] int OpenInPlace(OutputFileState& state, PathTarget& target, uint64_t size) {
  const int fd = systemCalls.openat(target.directory(), target.name(),
                                    O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0);
  if (fd < 0) return errno;
  if (size != OutputFile::kUnknownSize) {
    if (const int error = ReserveInPlace(fd, size)) {
      systemCalls.close(fd);
      return error;
    }
  }
  state.fd = fd;
  state.kind = Kind::kInPlace;
  state.truncateAtClose = true;
  return 0;
}

// A device, a FIFO, a socket or a terminal has no file to replace.
[[nodiscard]] int OpenSpecial(OutputFileState& state, PathTarget& target) {
  const int fd = OpenWithoutWaiting(target.directory(), target.name(), 0);
  if (fd < 0) return -fd;
  state.fd = fd;
  state.kind = Kind::kInPlace;
  return 0;
}

// A link in /proc stands for a file some process has open, maybe one with
// no name left: it is opened anew and truncated, as cp would open it.
[[nodiscard]] int OpenAnew(OutputFileState& state, const char* path) {
  const int fd = OpenWithoutWaiting(AT_FDCWD, path, O_TRUNC);
  if (fd < 0) return -fd;
  state.fd = fd;
  state.kind = Kind::kInPlace;
  return 0;
}

// The complete unnamed file gets a temporary name only just before the
// rename: a process killed between the two can leave that name behind, and
// nowhere else. (A link cannot replace an existing name itself.)
[[nodiscard]] int GiveName(OutputFileState& state, int fd) {
  for (int tries = 0; tries < kTemporaryNameTries; ++tries) {
    MakeTemporaryName(state.temporaryName, Now());
    const int error = NameUnnamed(fd, state.directory, state.temporaryName);
    if (error == 0) state.named = true;
    if (error != EEXIST) return error;
  }
  return EEXIST;
}

// The file goes where the path led when the call began, into the very
// directory held since then, as an open would have found it: a link
// retargeted meanwhile does not redirect it, since the temporary already
// carries the owner, mode and attributes of the file it replaces. An
// unnamed file, given as `unnamed`, is named just before the rename, so
// that nothing else runs between the two.
[[nodiscard]] int RenameOverTarget(OutputFileState& state, int unnamed) {
  if (unnamed >= 0) {
    // A new file takes its name in one step, with no temporary name at
    // all; only where another writer made the name meanwhile is it renamed
    // over, the last writer winning as in any replacement.
    if (!state.replacing) {
      const int error = NameUnnamed(unnamed, state.directory, state.targetName);
      if (error != EEXIST) return error;
      // An append-only directory allows no rename, and would keep a
      // temporary name for ever: there the other writer's file stands.
      FileStatus directory;
      if (StatusAt(state.directory, "", directory) != 0 || directory.appendOnly) return EEXIST;
    }
    if (const int error = GiveName(state, unnamed)) return error;
  }
  if (systemCalls.renameat(state.directory, state.temporaryName, state.directory, state.targetName) != 0) {
    return errno;
  }
  return 0;
}

}  // namespace

int OutputFile::Open(const NativePathChar* path, uint64_t size) {
  Discard();
  if (*path == '\0') return ENOENT;
  PathTarget target;
  if (const int error = target.Resolve(path)) return error;
  state_ = OutputFileState{};

  if (target.procLink()) return OpenAnew(state_, path);
  if (!target.exists()) return OpenTemporary(state_, target, 0666);
  const FileStatus& file = target.status();
  if (S_ISDIR(file.mode)) return EISDIR;
  if (!S_ISREG(file.mode)) return OpenSpecial(state_, target);
  // A file the caller may not write is not replaced either, as an open for
  // writing would refuse it.
  if (systemCalls.faccessat(target.directory(), target.name(), W_OK, AT_EACCESS) != 0) return errno;
  if (RenameRefused(target)) return OpenInPlace(state_, target, size);
  state_.replacing = true;
  state_.replacedOwner = file.owner;
  state_.replacedGroup = file.group;
  state_.replacedMode = file.mode & 07777;
  const int error = OpenTemporary(state_, target, file.mode & 07777);
  // A directory the caller may not write into, or an immutable one: no
  // temporary was made, and the file, which the caller may write, is
  // written where it is.
  if (error == EACCES || error == EPERM) return OpenInPlace(state_, target, size);
  return error;
}

int OutputFile::Write(const uint8_t* bytes, size_t size) {
  while (size > 0) {
    const ssize_t written = systemCalls.write(state_.fd, bytes, size);
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

int OutputFile::Close() {
  if (state_.fd < 0) return EBADF;
  const int fd = state_.fd;
  state_.fd = -1;
  int error = 0;
  // An unnamed file is closed before it is named, so that the close's
  // flush cannot widen the window in which a kill leaves its name behind;
  // a second descriptor keeps it reachable for the naming.
  int unnamed = -1;
  if (state_.kind == Kind::kReplacement) {
    if (state_.replacing) {
      error = KeepReplacedMetadata(fd, state_.directory, state_.targetName,
                                   {state_.replacedOwner, state_.replacedGroup,
                                    state_.replacedMode});
    }
    if (error == 0 && state_.unnamed) {
      unnamed = systemCalls.fcntl(fd, F_DUPFD_CLOEXEC, 0);
      if (unnamed < 0) error = errno;
    }
  } else if (state_.truncateAtClose) {
    // A shorter file than the one overwritten ends where its bytes do.
    const off_t end = systemCalls.lseek(fd, 0, SEEK_CUR);
    if (end < 0 || systemCalls.ftruncate(fd, end) != 0) error = errno;
  }
  // A failed close can mean that written data never reached the file
  // (NFS, some FUSE systems), so the file is not put in place. Every
  // close flushes, so this first one is where such a failure shows.
  if (systemCalls.close(fd) != 0 && error == 0) error = errno;
  if (state_.kind == Kind::kReplacement) {
    if (error == 0 && (state_.named || unnamed >= 0)) error = RenameOverTarget(state_, unnamed);
    if (unnamed >= 0) systemCalls.close(unnamed);  // nothing is left to flush
    if (error != 0 && state_.named) systemCalls.unlinkat(state_.directory, state_.temporaryName, 0);
    systemCalls.close(state_.directory);
    state_.directory = -1;
  }
  state_.kind = Kind::kClosed;
  return error;
}

void OutputFile::Discard() {
  if (state_.fd < 0) return;
  systemCalls.close(state_.fd);
  state_.fd = -1;
  if (state_.kind == Kind::kReplacement) {
    if (state_.named) systemCalls.unlinkat(state_.directory, state_.temporaryName, 0);
    systemCalls.close(state_.directory);
    state_.directory = -1;
  }
  state_.kind = Kind::kClosed;
}

}  // namespace quorbel
