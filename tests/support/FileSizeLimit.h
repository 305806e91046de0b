#pragma once

#include <sys/resource.h>

#include <csignal>

namespace quorbel::test {

// Lowers this process's file size limit for the life of the object, with
// SIGXFSZ ignored, so that a write past it fails with EFBIG rather than
// killing the test; both are put back afterwards.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    if (::getrlimit(RLIMIT_FSIZE, &old_) != 0) return;
    struct rlimit low = old_;
    low.rlim_cur = bytes;
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    applied_ = ::setrlimit(RLIMIT_FSIZE, &low) == 0;
  }
  ~FileSizeLimit() {
    if (!applied_) return;
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  bool applied() const { return applied_; }

 private:
  struct rlimit old_ {};
  void (*oldHandler_)(int) = SIG_DFL;
  bool applied_ = false;
};

}  // namespace quorbel::test
