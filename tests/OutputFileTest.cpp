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

#include "AsAnotherUser.h"
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

TEST_F(OutputFileTest, APositionedWriteLeavesTheAppendPositionAlone) {
  const fs::path path = directory / "out.bin";
  OutputFile file;
  ASSERT_EQ(file.Open(path.c_str()), 0);
  Put(file, "abc");
  const uint8_t patch = 'X';
  ASSERT_EQ(file.WriteAt(0, &patch, 1), 0);
  Put(file, "def");
  ASSERT_EQ(file.Close(), 0);
  EXPECT_EQ(Read(path), "Xbcdef");
}

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
// A link retargeted during the call is followed again at the close; a file
// it then leads to that the caller may not write is refused, as it would
// have been at the open.
TEST_F(OutputFileTest, ALinkRetargetedToAReadOnlyFileDoesNotReplaceIt) {
  ASSERT_EQ(::chmod(scratch.path().c_str(), 0777), 0);
  const fs::path link = directory / "link";
  const fs::path readOnly = directory / "read-only";
  std::ofstream(readOnly, std::ios::binary) << "old";
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  const int result = AsAnotherUser([&] {
    OutputFile file;
    const uint8_t byte = 'x';
    if (::symlink("first", link.c_str()) != 0 || file.Open(link.c_str()) != 0 ||
        file.Write(&byte, 1) != 0 || ::unlink(link.c_str()) != 0 ||
        ::symlink("read-only", link.c_str()) != 0) {
      return 1;
    }
    return file.Close() == EACCES ? 0 : 2;
  });
  EXPECT_EQ(result, 0) << "1: set-up failed; 2: not refused with EACCES; 3: still root";
  EXPECT_EQ(Read(readOnly), "old");
  EXPECT_EQ(EntryCount(), 2u) << "a temporary was left behind";
}
#endif

}  // namespace
}  // namespace quorbel::test
