/* The shim states each call's own types: glibc's large-file flags would
 * turn a definition of pwrite here into one of pwrite64 with another offset
 * type, while the C library's pwrite, found by name, kept the old one. */
#undef _FILE_OFFSET_BITS
#undef _TIME_BITS
#define _GNU_SOURCE
#include "SystemCallFaults.h"

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

static QuorbelFaultPoint armedPoint;
static int armedCountdown;  /* 0: nothing armed */
static int armedError;
static void (*armedHook)(void);
static int reached;

void QuorbelArmFault(QuorbelFaultPoint point, int nth, int error) {
  armedPoint = point;
  armedCountdown = nth;
  armedError = error;
  armedHook = NULL;
  reached = 0;
}

void QuorbelArmHook(QuorbelFaultPoint point, int nth, void (*hook)(void)) {
  QuorbelArmFault(point, nth, 0);
  armedHook = hook;
}

void QuorbelDisarmFaults(void) { armedCountdown = 0; }

int QuorbelFaultReached(void) { return reached; }

/* Whether this call at `point` is the one to fail. Counts only while armed. */
static int Trips(QuorbelFaultPoint point) {
  if (armedCountdown == 0 || point != armedPoint) return 0;
  if (--armedCountdown != 0) return 0;
  reached = 1;
  if (armedHook != NULL) {
    armedHook();
    return 0;
  }
  return 1;
}

/* Whether `fd` is a regular file: the test's own output through a pipe or
 * a terminal is never failed. Large-file safe on 32-bit glibc. */
static int IsRegularFile(int fd) {
#ifdef __GLIBC__
  struct stat64 status;
  return fstat64(fd, &status) == 0 && S_ISREG(status.st_mode);
#else
  struct stat status;
  return fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
#endif
}

/* The C library's own definition. POSIX lets dlsym's result be stored
 * into a function pointer this way; a cast would not be ISO C. */
#define LOAD_NEXT(pointer, name) \
  do {                             \
    if ((pointer) == NULL) *(void **)(&(pointer)) = dlsym(RTLD_NEXT, name); \
  } while (0)

/* A call that an armed fault can fail: its result type, its name, its fault
 * point, the condition on its arguments under which it counts, and its
 * parameter and argument lists. A failed call returns -1 with the armed
 * errno and does nothing else. */
#define FAULTY_CALL(type, name, point, counts, parameters, arguments) \
  type name parameters {                                              \
    static type(*next) parameters;                                    \
    LOAD_NEXT(next, #name);                                            \
    if ((counts) && Trips(point)) {                                   \
      errno = armedError;                                             \
      return -1;                                                      \
    }                                                                 \
    return next arguments;                                            \
  }

FAULTY_CALL(ssize_t, write, kFaultAtWrite, IsRegularFile(fd),
            (int fd, const void *bytes, size_t size), (fd, bytes, size))

/* A 32-bit program built with 64-bit offsets calls pwrite64; a 64-bit one
 * calls pwrite, and glibc's pwrite64 is its other name. */
FAULTY_CALL(ssize_t, pwrite, kFaultAtPositionedWrite, 1,
            (int fd, const void *bytes, size_t size, off_t offset),
            (fd, bytes, size, offset))
#ifdef __GLIBC__
FAULTY_CALL(ssize_t, pwrite64, kFaultAtPositionedWrite, 1,
            (int fd, const void *bytes, size_t size, off64_t offset),
            (fd, bytes, size, offset))
#endif

FAULTY_CALL(int, renameat, kFaultAtRename, 1,
            (int fromDirectory, const char *from, int toDirectory, const char *to),
            (fromDirectory, from, toDirectory, to))

FAULTY_CALL(int, linkat, kFaultAtLink, 1,
            (int from, const char *old, int to, const char *name, int flags),
            (from, old, to, name, flags))

FAULTY_CALL(int, fallocate, kFaultAtReserve, 1, (int fd, int mode, off_t at, off_t size),
            (fd, mode, at, size))
#ifdef __GLIBC__
FAULTY_CALL(int, fallocate64, kFaultAtReserve, 1, (int fd, int mode, off64_t at, off64_t size),
            (fd, mode, at, size))
#endif

/* A failed close still lets go of the descriptor, as a real one does. */
int close(int fd) {
  static int (*next)(int);
  LOAD_NEXT(next, "close");
  if (IsRegularFile(fd) && Trips(kFaultAtClose)) {
    next(fd);
    errno = armedError;
    return -1;
  }
  return next(fd);
}
