// The output file on its own, on every platform: positioned writes, and a
// file that appears at its path only when it is closed.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "OutputFile.h"
#include "TempDirectory.h"

#if !defined(_WIN32)
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace quorbel::test {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_FALSE(scratch.path().empty()); }

  static std::string Read(const fs::path& path) {
    const std::vector<uint8_t> bytes = ReadFile(path.u8string());
    return std::string(bytes.begin(), bytes.end());
  }
  static void Put(OutputFile& file, const std::string& text) {
    ASSERT_EQ(file.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size()), 0);
  }
  size_t EntryCount() const { return scratch.Entries().size(); }

  TempDirectory scratch;
  const fs::path directory = Native(scratch.path());
};

TEST_F(OutputFileTest, TheFileTakesThePathOnlyWhenClosed) {
  const fs::path path = directory / "out.bin";
  std::ofstream(path, std::ios::binary) << "old";
  OutputFile file;
  ASSERT_EQ(file.Open(path.c_str()), 0);
  Put(file, "new content");
  EXPECT_EQ(Read(path), "old") << "the path changed before the close";
  ASSERT_EQ(file.Close(), 0);
  EXPECT_EQ(Read(path), "new content");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(OutputFileTest, ADiscardedFileLeavesThePathAsItWas) {
  const fs::path path = directory / "out.bin";
  {
    OutputFile file;
    ASSERT_EQ(file.Open(path.c_str()), 0);
    Put(file, "never seen");
    file.Discard();
  }
  EXPECT_FALSE(fs::exists(path));

  std::ofstream(path, std::ios::binary) << "old";
  {
    OutputFile file;  // left without a close: its destructor discards it
    ASSERT_EQ(file.Open(path.c_str()), 0);
    Put(file, "never seen");
  }
  EXPECT_EQ(Read(path), "old");
  EXPECT_EQ(EntryCount(), 1u) << "a temporary was left behind";
}

#if !defined(_WIN32)
// The temporary carries the owner, mode and attributes of the file the
// path led to at the open; a link retargeted before the close must not
// carry them over another file, such as one of root's that a link of
// another user's now names.
TEST_F(OutputFileTest, ALinkRetargetedDuringTheCallLeavesItsNewTargetAlone) {
  const fs::path link = directory / "link";
  const fs::path first = directory / "first";
  const fs::path second = directory / "second";
  std::ofstream(first, std::ios::binary) << "first";
  std::ofstream(second, std::ios::binary) << "second";
  ASSERT_EQ(::chmod(first.c_str(), 0666), 0);
  ASSERT_EQ(::chmod(second.c_str(), 0600), 0);
  ASSERT_EQ(::symlink("first", link.c_str()), 0);
  OutputFile file;
  ASSERT_EQ(file.Open(link.c_str()), 0);
  Put(file, "new");
  ASSERT_EQ(::unlink(link.c_str()), 0);
  ASSERT_EQ(::symlink("second", link.c_str()), 0);
  ASSERT_EQ(file.Close(), 0);
  EXPECT_EQ(Read(first), "new");
  EXPECT_EQ(Read(second), "second");
  struct stat status;
  ASSERT_EQ(::stat(second.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0600u);
  EXPECT_EQ(EntryCount(), 3u) << "a temporary was left behind";
}
#endif

}  // namespace
}  // namespace quorbel::test
