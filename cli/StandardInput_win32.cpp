#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdio>

#include "StandardInput.h"

namespace quorbel::cli {

int ReadStandardInput(std::string& text) {
  _setmode(_fileno(stdin), _O_BINARY);
  char piece[65536];
  size_t got;
  while ((got = std::fread(piece, 1, sizeof piece, stdin)) > 0) text.append(piece, got);
  return std::ferror(stdin) ? EIO : 0;
}

}  // namespace quorbel::cli
