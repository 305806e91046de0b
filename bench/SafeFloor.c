#define _GNU_SOURCE
#include "SafeFloor.h"

#include <errno.h>

#include "QuorbelFeatures.h"

#if QUORBEL_HAVE_STATX && QUORBEL_HAVE_O_TMPFILE && QUORBEL_HAVE_LINUX_XATTR

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/xattr.h>
#include <unistd.h>

/* The C library may predate the call; its number is the same everywhere. */
#ifndef SYS_listxattrat
#define SYS_listxattrat 465
#endif

static const char kTemporary[] = ".safe-floor.tmp";
static const unsigned kStatusMask = STATX_TYPE | STATX_MODE | STATX_UID | STATX_GID | STATX_INO;

/* Lists the attributes of `name` in `directory` without following a link.
 * On a kernel before 6.13, through the directory's entry in /proc. */
static ssize_t ListAttributes(int directory, const char *name, char *names, size_t size) {
  const ssize_t listed =
      syscall(SYS_listxattrat, directory, name, AT_SYMLINK_NOFOLLOW, names, size);
  if (listed >= 0 || errno != ENOSYS) return listed;
  char path[64 + 256];
  snprintf(path, sizeof path, "/proc/self/fd/%d/%s", directory, name);
  return llistxattr(path, names, size);
}

static int Fail(int fd, int held) {
  const int error = errno;
  if (fd >= 0) close(fd);
  close(held);
  return error;
}

int QuorbelSafeFloorReplace(const char *directory, const char *name, const void *bytes,
                            size_t size) {
  const int held = open(directory, O_PATH | O_DIRECTORY | O_CLOEXEC);
  if (held < 0) return errno;
  struct statx file, parent;
  if (statx(held, name, AT_SYMLINK_NOFOLLOW, kStatusMask, &file) != 0 ||
      statx(held, "", AT_EMPTY_PATH | AT_SYMLINK_NOFOLLOW, kStatusMask, &parent) != 0 ||
      faccessat(held, name, W_OK, AT_EACCESS) != 0) {
    return Fail(-1, held);
  }
  const int fd = openat(held, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, file.stx_mode & 07777);
  if (fd < 0) return Fail(-1, held);
  char names[1024];
  if (ListAttributes(held, name, names, sizeof names) < 0 && errno != ENOTSUP) {
    return Fail(fd, held);
  }
  const ssize_t written = write(fd, bytes, size);
  if (written != (ssize_t)size) {
    if (written >= 0) errno = EIO;  /* short: a floor writes once */
    return Fail(fd, held);
  }
  const int second = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (second < 0) return Fail(fd, held);
  if (close(fd) != 0) return Fail(second, held);
  if (linkat(second, "", held, kTemporary, AT_EMPTY_PATH) != 0) return Fail(second, held);
  if (renameat(held, kTemporary, held, name) != 0) {
    const int error = errno;
    unlinkat(held, kTemporary, 0);
    errno = error;
    return Fail(second, held);
  }
  close(second);
  close(held);
  return 0;
}

#else

/* Elsewhere the promises take other calls, and there is no floor to show. */
int QuorbelSafeFloorReplace(const char *directory, const char *name, const void *bytes,
                            size_t size) {
  (void)directory, (void)name, (void)bytes, (void)size;
  return ENOSYS;
}

#endif
