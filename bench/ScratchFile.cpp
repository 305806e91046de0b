#include "ScratchFile.h"

#include "QuorbelFeatures.h"

#if QUORBEL_HAVE_TMPFS_MAGIC
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

#include <cerrno>
#include <cstring>

namespace quorbel::bench {

ScratchFile::ScratchFile(const std::string& parent) : directory_(parent) {
  if (directory_.path().empty()) {
    error_ = "cannot create a directory in " + parent + ": " + std::strerror(errno);
    return;
  }
  const std::string path = directory_ / "bench.mid";
  widePath_ = WidenAsciiPath(path);
  if (widePath_.empty()) {
    error_ = "the benchmarks need an ASCII path, not " + path;
    return;
  }
  path_ = path;
}

std::optional<bool> IsOnTmpfs(const std::string& directory) {
#if QUORBEL_HAVE_TMPFS_MAGIC
  struct statfs status;
  if (::statfs(directory.c_str(), &status) != 0) return std::nullopt;
  return status.f_type == TMPFS_MAGIC;
#else
  (void)directory;
  return std::nullopt;
#endif
}

}  // namespace quorbel::bench
