#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>  // mkdtemp
#endif

namespace quorbel::test {

// Paths and names are UTF-8 here on every platform; on Windows the file
// system takes them converted.
inline std::filesystem::path Native(const std::string& utf8) {
  return std::filesystem::u8path(utf8);
}

// True for anything at the path, a dangling link included.
inline bool Exists(const std::string& path) {
  std::error_code error;
  return std::filesystem::symlink_status(Native(path), error).type() !=
         std::filesystem::file_type::not_found;
}

// A fresh directory of the test's own, removed with all it holds, whatever
// modes the test left on it. Tests, fuzzers and benchmarks all use it.
class TempDirectory {
 public:
  // Under `parent`, or the system's temporary directory ($TMPDIR, or /tmp).
  explicit TempDirectory(const std::string& parent = DefaultParent()) {
#if defined(_WIN32)
    std::random_device random;
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const std::string candidate = parent + "/quorbel-" + std::to_string(random());
      std::error_code error;
      if (std::filesystem::create_directory(Native(candidate), error)) path_ = candidate;
    }
#else
    // mkdtemp, so that nobody else can have made or entered it first.
    std::string pattern = parent + "/quorbel-XXXXXX";
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
#endif
  }
  TempDirectory(const TempDirectory&) = delete;
  TempDirectory& operator=(const TempDirectory&) = delete;
  ~TempDirectory() { RemoveTree(path_); }

  // Empty when the directory could not be made.
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

  std::vector<std::string> Entries() const { return EntriesOf(path_); }

  // The names in a directory (UTF-8), sorted.
  static std::vector<std::string> EntriesOf(const std::string& path) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(Native(path), error), end;
         !error && entry != end; entry.increment(error)) {
      names.push_back(entry->path().filename().u8string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  static std::string DefaultParent() {
    std::error_code error;
    const std::filesystem::path system = std::filesystem::temp_directory_path(error);
    return error ? std::string("/tmp") : system.u8string();
  }

  // A directory a test closed is opened again first; links are removed,
  // never followed.
  static void RemoveTree(const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty()) return;
    std::error_code error;
    if (fs::symlink_status(Native(path), error).type() == fs::file_type::directory) {
      fs::permissions(Native(path), fs::perms::owner_all, fs::perm_options::add, error);
      for (const std::string& name : EntriesOf(path)) RemoveTree(path + "/" + name);
    }
    fs::remove(Native(path), error);
  }

  std::string path_;
};

// A piece at a time: a character at a time, a fuzzer's large files cost
// more to read than to write.
inline std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(Native(path), std::ios::binary);
  std::vector<uint8_t> bytes;
  char piece[65536];
  while (in.read(piece, sizeof piece) || in.gcount() > 0) {
    bytes.insert(bytes.end(), piece, piece + in.gcount());
  }
  return bytes;
}

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}


}  // namespace quorbel::test
