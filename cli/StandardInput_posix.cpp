#include <unistd.h>

#include <cerrno>

#include "Descriptors_posix.h"
#include "StandardInput.h"

namespace quorbel::cli {

int ReadStandardInput(std::string& text) {
  char piece[65536];
  for (;;) {
    const ssize_t got = ReadWaiting(STDIN_FILENO, piece, sizeof piece);
    if (got == 0) return 0;
    if (got < 0) return errno;
    text.append(piece, size_t(got));
  }
}

}  // namespace quorbel::cli
