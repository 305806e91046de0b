#include <sys/stat.h>

#include "FileSize.h"

namespace quorbel::cli {

std::optional<uint64_t> RegularFileSize(const std::string& path) {
  struct stat file;
  if (::stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode)) return std::nullopt;
  return uint64_t(file.st_size);
}

}  // namespace quorbel::cli
