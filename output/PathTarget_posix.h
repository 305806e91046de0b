#pragma once

#include <sys/types.h>

#include <climits>
#include <cstdint>

namespace quorbel {

// What a name in a directory is, as far as the output file cares.
struct FileStatus {
  mode_t mode = 0;
  uid_t owner = 0;
  gid_t group = 0;
  dev_t device = 0;
  ino_t inode = 0;
  bool appendOnly = false;  // a directory whose entries cannot be renamed or removed
  bool mountRoot = false;   // a file mounted over another (a bind mount)
};

// Fills `status` for `name` in `directory` (or the directory itself for
// ""), without following a final symbolic link. Returns 0 or errno.
[[nodiscard]] int StatusAt(int directory, const char* name, FileStatus& status);

// The directory the file a path finally names is in, held open, and that
// file's name there: where a temporary goes and what it is renamed over.
class PathTarget {
 public:
  PathTarget() = default;
  PathTarget(const PathTarget&) = delete;
  PathTarget& operator=(const PathTarget&) = delete;
  ~PathTarget();

  // Follows `path` through its symbolic links to the final file. Returns 0
  // or errno: the kernel's own refusals stand (a protected link, a
  // directory without search permission), so the walk gets no further
  // than an open would.
  [[nodiscard]] int Resolve(const char* path);

  int directory() const { return directory_; }
  const char* name() const { return name_; }
  bool exists() const { return exists_; }
  const FileStatus& status() const { return status_; }
  // The path reaches a link that procfs makes (/dev/stdout leads to
  // /proc/self/fd/1): it stands for an open file, not for a name.
  bool procLink() const { return procLink_; }
  // Hands the directory over; the caller closes it.
  int ReleaseDirectory();

 private:
  [[nodiscard]] int Walk(const char* path);
  [[nodiscard]] int Enter(const char* name);

  int directory_ = -1;
  bool exists_ = false;
  bool throughLinks_ = false;
  bool procLink_ = false;
  FileStatus status_;
  char name_[NAME_MAX + 1] = {};
};

}  // namespace quorbel
