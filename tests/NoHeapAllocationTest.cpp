// A call of WriteMIDI allocates nothing: every malloc in the process is
// counted, the shared library's included.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "AllocationCounter.h"
#include "AsAnotherUser.h"
#include "QuorbelFeatures.h"
#include "TempDirectory.h"
#include "quorbel/quorbel.h"

namespace quorbel::test {
namespace {

TEST(NoHeapAllocation, TheCounterSeesTheRuntimesAllocations) {
  const unsigned long before = QuorbelAllocationCount();
  if (std::FILE* file = std::fopen("/dev/null", "r")) std::fclose(file);
  delete new std::string(100, 'x');
  EXPECT_GE(QuorbelAllocationCount() - before, 2u);
}

TEST(NoHeapAllocation, NeitherWritingNorFailingAllocates) {
  TempDirectory dir;
  const std::string path = dir / "out.mid";
  const std::u16string widePath(path.begin(), path.end());
  const std::u16string longText(1'000'000, u'\u00E9');
  const std::u16string missing = u"/no/such/directory/x.mid";

  const unsigned long before = QuorbelAllocationCount();
  const int32_t written = WriteMIDI(u"AB", 48, widePath.c_str());
  const int32_t long_ = WriteMIDI(longText.c_str(), 200, u"/dev/null");
  const int32_t refused = WriteMIDI(u"AB", -1, widePath.c_str());
  const int32_t failed = WriteMIDI(u"AB", 48, missing.c_str());
  const unsigned long allocations = QuorbelAllocationCount() - before;

  EXPECT_EQ(written, QUORBEL_OK);
  EXPECT_EQ(long_, QUORBEL_OK);
  EXPECT_EQ(refused, 0);
  EXPECT_EQ(failed, 0);
  EXPECT_EQ(allocations, 0u);
}

ino_t InodeOf(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

bool MakeFile(const std::string& path, mode_t mode) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  return file != nullptr && std::fputs("old", file) >= 0 && std::fclose(file) == 0 &&
         ::chmod(path.c_str(), mode) == 0;
}

// Every road a file takes through the output: made new, replaced, replaced
// with an attribute too large for the stack's room, written in place where
// the directory refuses a temporary, and a device. The road is checked as
// well as the count, so that a case cannot pass by taking another road.
TEST(NoHeapAllocation, NoRoadThroughTheOutputAllocates) {
  TempDirectory dir;
  const std::string closed = dir / "closed";
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(closed.c_str(), 0755), 0);
  const std::string big(3000, 'v');  // past the 2 KiB kept on the stack for a value

  enum class Road { kNew, kReplaced, kInPlace, kDevice };
  struct Case {
    const char* name;
    std::string path;
    Road road;
    bool largeAttribute = false;
  };
  const std::vector<Case> cases = {
      {"new file", dir / "new.mid", Road::kNew},
      {"replaced file", dir / "old.mid", Road::kReplaced},
      {"replaced file with a 3000-byte attribute", dir / "attribute.mid", Road::kReplaced, true},
      {"in place, the directory not the caller's to write", closed + "/old.mid", Road::kInPlace},
      {"device", "/dev/null", Road::kDevice},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.road == Road::kReplaced || c.road == Road::kInPlace) {
      ASSERT_TRUE(MakeFile(c.path, c.road == Road::kInPlace ? 0666 : 0644));
    }
    if (c.largeAttribute &&
        ::setxattr(c.path.c_str(), "user.big", big.data(), big.size(), 0) != 0) {
      std::printf("[  SKIPPED ] %s: no user attributes here (%s)\n", c.name,
                  std::strerror(errno));
      continue;
    }
    // Root writes anywhere: the directory refuses only another user.
    if (c.road == Road::kInPlace) {
      ASSERT_EQ(::chmod(closed.c_str(), 0555), 0);
    }
    const ino_t inodeBefore = InodeOf(c.path);
    const std::u16string path(c.path.begin(), c.path.end());
    // 10 + the allocations, or 150 for a failed call: apart from the exit
    // statuses AsAnotherUser keeps for itself.
    const auto measured = [&] {
      const unsigned long before = QuorbelAllocationCount();
      const int32_t result = WriteMIDI(u"AB", 48, path.c_str());
      const unsigned long allocations = QuorbelAllocationCount() - before;
      return result != QUORBEL_OK ? 150 : 10 + int(std::min(allocations, 100ul));
    };
    const bool asNobody = c.road == Road::kInPlace && ::geteuid() == 0;
    const int outcome = asNobody ? AsAnotherUser(measured) : measured();
    EXPECT_NE(outcome, 150) << "WriteMIDI failed";
    EXPECT_NE(outcome, 3) << "could not give up root";
    EXPECT_EQ(outcome - 10, 0) << "allocations";

    const ino_t inodeAfter = InodeOf(c.path);
    switch (c.road) {
      case Road::kNew: EXPECT_NE(inodeAfter, 0u); break;
      case Road::kReplaced: EXPECT_NE(inodeAfter, inodeBefore) << "not replaced"; break;
      case Road::kInPlace: EXPECT_EQ(inodeAfter, inodeBefore) << "not written in place"; break;
      case Road::kDevice: break;
    }
    // The plain POSIX path keeps no attributes: there the case is one more
    // replaced file.
    if (c.largeAttribute && QUORBEL_HAVE_LINUX_XATTR) {
      EXPECT_EQ(::getxattr(c.path.c_str(), "user.big", nullptr, 0), ssize_t(big.size()));
    }
  }
}

}  // namespace
}  // namespace quorbel::test
