#define _GNU_SOURCE
#include "SystemCallFaults.h"

#include <dlfcn.h>
#include <errno.h>
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

/* The C library's own definition. POSIX lets dlsym's result be stored
 * into a function pointer this way; a cast would not be ISO C. */
#define LOAD_NEXT(pointer, name) \
  do {                             \
    if ((pointer) == NULL) *(void **)(&(pointer)) = dlsym(RTLD_NEXT, name); \
  } while (0)

ssize_t write(int fd, const void *bytes, size_t size) {
  static ssize_t (*next)(int, const void *, size_t);
  LOAD_NEXT(next, "write");
  struct stat status;
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && Trips(kFaultAtWrite)) {
    errno = armedError;
    return -1;
  }
  return next(fd, bytes, size);
}

ssize_t pwrite(int fd, const void *bytes, size_t size, off_t offset) {
  static ssize_t (*next)(int, const void *, size_t, off_t);
  LOAD_NEXT(next, "pwrite");
  if (Trips(kFaultAtPositionedWrite)) {
    errno = armedError;
    return -1;
  }
  return next(fd, bytes, size, offset);
}

int close(int fd) {
  static int (*next)(int);
  LOAD_NEXT(next, "close");
  struct stat status;
  if (fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && Trips(kFaultAtClose)) {
    next(fd);  /* the descriptor is gone, as after a real failed close */
    errno = armedError;
    return -1;
  }
  return next(fd);
}

int renameat(int fromDirectory, const char *from, int toDirectory, const char *to) {
  static int (*next)(int, const char *, int, const char *);
  LOAD_NEXT(next, "renameat");
  if (Trips(kFaultAtRename)) {
    errno = armedError;
    return -1;
  }
  return next(fromDirectory, from, toDirectory, to);
}
