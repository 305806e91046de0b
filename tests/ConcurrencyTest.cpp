// Many calls at once, from threads and processes, to their own files and to
// one shared path: every call succeeds, every file is exact, and the shared
// path always holds one whole file, never a mix and never a temporary.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "ExpectedMIDIFile.h"
#include "TempDirectory.h"
#include "quorbel/quorbel.h"

namespace quorbel::test {
namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kThreads = 8;
constexpr int kProcesses = 2;
constexpr int kCallsEach = 40;
constexpr int32_t kTicks = 48;

// Writer k's text: its own length and its own letter. Every fourth makes a
// file of over 1 MiB, which goes out through the memory the library keeps
// for long files, and which those writers contend for.
std::u16string TextOf(int writer) {
  const size_t longText = (1 << 20) / 8;
  return std::u16string((writer % 4 == 1 ? longText : 500) + 37 * writer, char16_t(u'a' + writer));
}

Bytes ExpectedFile(const std::u16string& asciiText) {
  return ExpectedMIDIFile(Bytes(asciiText.begin(), asciiText.end()), kTicks);
}

bool Writes(const std::u16string& text, const std::string& path) {
  const std::u16string widePath(path.begin(), path.end());
  return WriteMIDI(text.c_str(), kTicks, widePath.c_str()) == QUORBEL_OK;
}

TEST(Concurrency, ThreadsAndProcessesNeverSeeEachOthersFiles) {
  TempDirectory dir;
  const std::string shared = dir / "shared.mid";
  const int writers = kThreads + kProcesses;
  std::vector<Bytes> expected;
  for (int k = 0; k < writers; ++k) expected.push_back(ExpectedFile(TextOf(k)));

  // Processes first, before this one has threads to fork with.
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      const std::u16string text = TextOf(kThreads + p);
      bool ok = true;
      for (int i = 0; i < kCallsEach; ++i) ok = Writes(text, shared) && ok;
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }

  const auto isWhole = [&](const Bytes& bytes) {
    for (const Bytes& one : expected) {
      if (bytes == one) return true;
    }
    return false;
  };
  std::atomic<bool> writing{true};
  std::atomic<int> badReads{0}, reads{0};
  std::thread reader([&] {
    bool seen = false;  // before the first file, the path may be absent
    while (writing) {
      const Bytes bytes = ReadFile(shared);
      if (bytes.empty() && !seen) continue;
      seen = true;
      ++reads;
      if (!isWhole(bytes)) ++badReads;  // absent again, or a mix
    }
  });

  std::atomic<int> failedCalls{0}, wrongFiles{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::u16string text = TextOf(t);
      const std::string own = dir / ("own-" + std::to_string(t) + ".mid");
      for (int i = 0; i < kCallsEach; ++i) {
        if (!Writes(text, own) || !Writes(text, shared)) ++failedCalls;
        if (ReadFile(own) != expected[t]) ++wrongFiles;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a process's call failed";
  }
  writing = false;
  reader.join();

  EXPECT_EQ(failedCalls, 0);
  EXPECT_EQ(wrongFiles, 0);
  EXPECT_EQ(badReads, 0) << "of " << reads << " reads of the shared file";
  EXPECT_TRUE(isWhole(ReadFile(shared)));
  std::vector<std::string> names;
  for (int t = 0; t < kThreads; ++t) names.push_back("own-" + std::to_string(t) + ".mid");
  names.push_back("shared.mid");
  EXPECT_EQ(dir.Entries(), names) << "a temporary was left behind";
}

}  // namespace
}  // namespace quorbel::test
