#pragma once

#include <optional>
#include <string>

#include "BenchText.h"
#include "TempDirectory.h"

namespace quorbel::bench {

// A file path in a fresh directory of its own under `parent`. The
// benchmarks replace that file over and over, as a host rewriting its
// output would, and the destructor removes the file and the directory, so
// nothing that was there before is touched or left behind.
class ScratchFile {
 public:
  explicit ScratchFile(const std::string& parent);

  // Empty when the directory could not be made; error() then says why.
  const std::string& error() const { return error_; }
  const std::string& path() const { return path_; }
  const QuorbelUTF16Unit* widePath() const { return widePath_.c_str(); }

 private:
  test::TempDirectory directory_;
  std::string path_;
  UTF16String widePath_;
  std::string error_;
};

// Whether `directory` lives on tmpfs, in memory only; nullopt when its
// file system cannot be queried.
std::optional<bool> IsOnTmpfs(const std::string& directory);

}  // namespace quorbel::bench
