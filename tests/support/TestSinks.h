#pragma once

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <vector>

#include "OutputSink.h"

namespace quorbel::test {

using Bytes = std::vector<uint8_t>;

// Keeps everything in memory, and counts the sink operations it sees.
class MemorySink : public OutputSink {
 public:
  int Write(const uint8_t* data, size_t size) override {
    ++writes;
    bytes.insert(bytes.end(), data, data + size);
    return 0;
  }
  int WriteAt(uint64_t offset, const uint8_t* data, size_t size) override {
    ++patches;
    if (offset + size > bytes.size()) return EINVAL;
    std::memcpy(bytes.data() + offset, data, size);
    return 0;
  }

  bool CanWriteAt() const override { return seekable; }

  Bytes bytes;
  int writes = 0;
  int patches = 0;
  bool seekable = true;  // false: a pipe, as far as the writer can tell
};

// Fails with `error` at the Nth write (counting from 1) or at the patch,
// and counts what it was asked to do after failing.
class FailingSink : public MemorySink {
 public:
  int Write(const uint8_t* data, size_t size) override {
    if (failed) ++callsAfterFailure;
    if (writes + 1 == failAtWrite) {
      ++writes;
      failed = true;
      return error;
    }
    return MemorySink::Write(data, size);
  }
  int WriteAt(uint64_t offset, const uint8_t* data, size_t size) override {
    if (failed) ++callsAfterFailure;
    if (failPatch) {
      failed = true;
      return error;
    }
    return MemorySink::WriteAt(offset, data, size);
  }

  int failAtWrite = 0;  // 0: never
  bool failPatch = false;
  int error = EIO;
  bool failed = false;
  int callsAfterFailure = 0;
};

// Takes any number of bytes and keeps only their count: for tracks too
// large to hold.
class CountingSink : public OutputSink {
 public:
  int Write(const uint8_t*, size_t size) override {
    size_ += size;
    return 0;
  }
  int WriteAt(uint64_t, const uint8_t*, size_t) override { return 0; }
  uint64_t size_ = 0;
};

}  // namespace quorbel::test
