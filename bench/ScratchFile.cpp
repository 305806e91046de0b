#include "ScratchFile.h"

#include <linux/magic.h>
#include <stdlib.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace quorbel::bench {

ScratchFile::ScratchFile(const std::string& parent) {
  std::string pattern = parent + "/quorbel-bench-XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    error_ = "cannot create a directory in " + parent + ": " +
             std::strerror(errno);
    return;
  }
  directory_ = pattern;
  const std::string path = directory_ + "/bench.mid";
  widePath_ = WidenAsciiPath(path);
  if (widePath_.empty()) {
    error_ = "the benchmarks need an ASCII path, not " + path;
    return;
  }
  path_ = path;
}

ScratchFile::~ScratchFile() {
  if (directory_.empty()) return;
  if (!path_.empty()) ::unlink(path_.c_str());
  ::rmdir(directory_.c_str());
}

std::optional<bool> IsOnTmpfs(const std::string& directory) {
  struct statfs status;
  if (::statfs(directory.c_str(), &status) != 0) return std::nullopt;
  return status.f_type == TMPFS_MAGIC;
}

}  // namespace quorbel::bench
