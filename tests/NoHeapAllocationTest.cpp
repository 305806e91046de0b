// A call of WriteMIDI allocates nothing: every malloc in the process is
// counted, the shared library's included.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "AllocationCounter.h"
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

}  // namespace
}  // namespace quorbel::test
