#pragma once

#include <sys/types.h>

#include <cstddef>

// Reads and writes on a descriptor that someone else may have left
// non-blocking (an event loop sharing it): an empty or full one is waited
// on, and an interrupted call is made again.

namespace quorbel::cli {

// Up to `size` bytes, at least one unless at the end. Returns the count, 0
// at the end, or -1 with errno set.
ssize_t ReadWaiting(int fd, char* bytes, size_t size);

// All `size` bytes. Returns 0, or the errno value of the failure.
int WriteAllWaiting(int fd, const char* bytes, size_t size);

}  // namespace quorbel::cli
