#pragma once

#include <cerrno>
#include <cstdint>
#include <vector>

#include "OutputSink.h"

namespace quorbel::test {

using Bytes = std::vector<uint8_t>;

// Keeps everything in memory, and counts the writes it sees.
class MemorySink : public OutputSink {
 public:
  int Write(const uint8_t* data, size_t size) override {
    ++writes;
    bytes.insert(bytes.end(), data, data + size);
    return 0;
  }

  Bytes bytes;
  int writes = 0;
};

// Fails with `error` at the Nth write (counting from 1), and counts what it
// was asked to do after failing.
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

  int failAtWrite = 0;  // 0: never
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
  uint64_t size_ = 0;
};

}  // namespace quorbel::test
