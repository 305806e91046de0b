#pragma once

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <time.h>

#include <cstddef>

#include "QuorbelFeatures.h"

#if QUORBEL_HAVE_PROC_SUPER_MAGIC
#include <sys/statfs.h>
#endif

namespace quorbel {

// Every call the output file makes to the system goes through this one
// table, so that a test can make any step fail, return short, see the flags
// it was given, or play an older kernel, without touching the C library.
// Each entry keeps the C library's convention: -1 (or a negative size) and
// errno on failure. The table is the process's: tests change it only while
// no call is under way.
struct SystemCalls {
  int (*openat)(int directory, const char* name, int flags, mode_t mode);
  int (*close)(int fd);
  ssize_t (*read)(int fd, void* bytes, size_t size);
  ssize_t (*write)(int fd, const void* bytes, size_t size);
  int (*fcntl)(int fd, int command, int argument);
  off_t (*lseek)(int fd, off_t offset, int whence);
  int (*ftruncate)(int fd, off_t size);
  int (*fstat)(int fd, struct stat* status);
  int (*fstatat)(int directory, const char* name, struct stat* status, int flags);
  int (*stat)(const char* path, struct stat* status);  // the kernel's own walk of a whole path
  ssize_t (*readlinkat)(int directory, const char* name, char* target, size_t size);
  int (*faccessat)(int directory, const char* name, int mode, int flags);
  int (*access)(const char* path, int mode);
  int (*linkat)(int fromDirectory, const char* from, int toDirectory, const char* to, int flags);
  int (*renameat)(int fromDirectory, const char* from, int toDirectory, const char* to);
  int (*unlinkat)(int directory, const char* name, int flags);
  int (*fchown)(int fd, uid_t owner, gid_t group);
  int (*fchmod)(int fd, mode_t mode);
  int (*fstatvfs)(int fd, struct statvfs* status);
  int (*getrlimit)(int resource, struct rlimit* limit);
  uid_t (*geteuid)();
  int (*clock_gettime)(clockid_t clock, timespec* now);
#if QUORBEL_HAVE_STATX
  int (*statx)(int directory, const char* name, int flags, unsigned int mask, struct statx* status);
#endif
#if QUORBEL_HAVE_PROC_SUPER_MAGIC
  int (*fstatfs)(int fd, struct statfs* status);
#endif
#if QUORBEL_HAVE_FALLOCATE
  int (*fallocate)(int fd, int mode, off_t offset, off_t size);
#endif
#if QUORBEL_HAVE_LINUX_XATTR
  ssize_t (*flistxattr)(int fd, char* names, size_t size);
  ssize_t (*llistxattr)(const char* path, char* names, size_t size);
  ssize_t (*fgetxattr)(int fd, const char* attribute, void* value, size_t size);
  ssize_t (*lgetxattr)(const char* path, const char* attribute, void* value, size_t size);
  int (*fsetxattr)(int fd, const char* attribute, const void* value, size_t size, int flags);
  int (*fremovexattr)(int fd, const char* attribute);
  // A file's attributes read through its directory and name (Linux 6.13):
  // no descriptor of the file and no /proc. ENOSYS on an older kernel.
  ssize_t (*listxattrat)(int directory, const char* name, unsigned int flags, char* names,
                         size_t size);
  ssize_t (*getxattrat)(int directory, const char* name, unsigned int flags,
                        const char* attribute, void* value, size_t size);
#endif
};

extern SystemCalls systemCalls;

// The table as the C library fills it, for a test to restore.
const SystemCalls& RealSystemCalls();

}  // namespace quorbel
