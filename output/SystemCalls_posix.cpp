#include "SystemCalls_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>  // renameat

#if QUORBEL_HAVE_LINUX_XATTR
#include <sys/syscall.h>
#include <sys/xattr.h>

#include <cstdint>
#include <cstring>

// The C library may predate the attribute calls that take a directory and
// a name; their numbers are the same on every architecture that has them.
#if !defined(SYS_listxattrat) && defined(__linux__) && !defined(__alpha__)
#define SYS_getxattrat 464
#define SYS_listxattrat 465
#endif
#endif

namespace quorbel {
namespace {

#if QUORBEL_HAVE_LINUX_XATTR
ssize_t ListAttributesAt(int directory, const char* name, unsigned int flags, char* names,
                         size_t size) {
#ifdef SYS_listxattrat
  return ::syscall(SYS_listxattrat, directory, name, flags, names, size);
#else
  (void)directory, (void)name, (void)flags, (void)names, (void)size;
  errno = ENOSYS;
  return -1;
#endif
}

ssize_t GetAttributeAt(int directory, const char* name, unsigned int flags,
                       const char* attribute, void* value, size_t size) {
#ifdef SYS_getxattrat
  struct {
    uint64_t value;
    uint32_t size;
    uint32_t flags;
  } arguments{reinterpret_cast<uintptr_t>(value), static_cast<uint32_t>(size), 0};
  return ::syscall(SYS_getxattrat, directory, name, flags, attribute, &arguments,
                   sizeof arguments);
#else
  (void)directory, (void)name, (void)flags, (void)attribute, (void)value, (void)size;
  errno = ENOSYS;
  return -1;
#endif
}
#endif

constexpr SystemCalls kReal = {
    [](int directory, const char* name, int flags, mode_t mode) {
      return ::openat(directory, name, flags, mode);
    },
    ::close,
    ::read,
    ::write,
    [](int fd, int command, int argument) { return ::fcntl(fd, command, argument); },
    ::lseek,
    ::ftruncate,
    ::fstat,
    ::fstatat,
    ::stat,
    ::readlinkat,
    ::faccessat,
    ::access,
    ::linkat,
    ::renameat,
    ::unlinkat,
    ::fchown,
    ::fchmod,
    ::fstatvfs,
    [](int resource, struct rlimit* limit) {
      return ::getrlimit(static_cast<decltype(RLIMIT_FSIZE)>(resource), limit);
    },
    ::geteuid,
    ::clock_gettime,
#if QUORBEL_HAVE_STATX
    ::statx,
#endif
#if QUORBEL_HAVE_PROC_SUPER_MAGIC
    ::fstatfs,
#endif
#if QUORBEL_HAVE_FALLOCATE
    ::fallocate,
#endif
#if QUORBEL_HAVE_LINUX_XATTR
    ::flistxattr,
    ::llistxattr,
    ::fgetxattr,
    ::lgetxattr,
    ::fsetxattr,
    ::fremovexattr,
    ListAttributesAt,
    GetAttributeAt,
#endif
};

}  // namespace

SystemCalls systemCalls = kReal;

const SystemCalls& RealSystemCalls() { return kReal; }

}  // namespace quorbel
