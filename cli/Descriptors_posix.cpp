#include "Descriptors_posix.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace quorbel::cli {
namespace {

// Whether a failed call is to be made again, once the descriptor is ready
// for `events`. A failure to wait leaves errno set for the caller.
bool ReadyAgain(int fd, short events) {
  if (errno == EINTR) return true;
  if (errno != EAGAIN && errno != EWOULDBLOCK) return false;
  pollfd ready{fd, events, 0};
  while (::poll(&ready, 1, -1) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

}  // namespace

ssize_t ReadWaiting(int fd, char* bytes, size_t size) {
  for (;;) {
    const ssize_t got = ::read(fd, bytes, size);
    if (got >= 0 || !ReadyAgain(fd, POLLIN)) return got;
  }
}

int WriteAllWaiting(int fd, const char* bytes, size_t size) {
  for (size_t done = 0; done < size;) {
    const ssize_t written = ::write(fd, bytes + done, size - done);
    if (written >= 0) {
      done += size_t(written);
    } else if (!ReadyAgain(fd, POLLOUT)) {
      return errno;
    }
  }
  return 0;
}

}  // namespace quorbel::cli
