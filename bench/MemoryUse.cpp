// quorbel_memory_use: how much memory WriteMIDI needs beyond the text it is
// handed, for a 10^7-character text: heap allocation calls, growth of the
// peak resident set, and the deepest point the call's stack reached.
// Prints one "name value (explanation)" line per figure.

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>

#include "AllocationCounter.h"
#include "BenchText.h"
#include "ScratchFile.h"
#include "StackHighWater.h"
#include "quorbel/quorbel.h"

namespace {

using quorbel::bench::MeasureStackHighWater;
using quorbel::bench::WidenAsciiPath;

constexpr size_t kLongTextChars = 10'000'000;
constexpr size_t kShortTextChars = 1999;
constexpr int32_t kNoteTicks = 48;
constexpr size_t kCalibrationBytes = 32 * 1024;

struct WriteCall {
  const QuorbelUTF16Unit* text;
  const QuorbelUTF16Unit* path;
  int32_t result = 0;
};

void CallWriteMIDI(void* call) {
  auto* c = static_cast<WriteCall*>(call);
  c->result = WriteMIDI(c->text, kNoteTicks, c->path);
}

void DoNothing(void*) {}

void TouchKnownStack(void*) {
  volatile unsigned char block[kCalibrationBytes];
  for (size_t i = 0; i < kCalibrationBytes; ++i) block[i] = 0;
  (void)block[0];  // read back, so the writes are a use
}

long PeakResidentKiB() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// A counter that missed allocations would report 0 whatever the library
// did, so it must see those made inside the C library and the C++ runtime.
bool AllocationCounterSeesLibraries() {
  const unsigned long start = QuorbelAllocationCount();
  if (std::FILE* file = std::fopen("/dev/null", "r")) std::fclose(file);
  const unsigned long afterC = QuorbelAllocationCount();
  int* volatile block = new int(1);
  delete block;
  return afterC > start && QuorbelAllocationCount() > afterC;
}

// A measured stack can only be trusted if a known use of it measures right.
// The margin is the idle thread's own start-up frames, which reach a little
// below where the function's frame begins and so overlap it.
bool StackMeasurementIsSound(size_t baseline) {
  constexpr size_t kMargin = 512;
  const auto touched = MeasureStackHighWater(TouchKnownStack, nullptr);
  return touched && *touched + kMargin >= baseline + kCalibrationBytes &&
         *touched <= baseline + kCalibrationBytes + kMargin;
}

int Fail(const char* message) {
  std::fprintf(stderr, "quorbel_memory_use: %s\n", message);
  return 1;
}

}  // namespace

int main() {
  if (!AllocationCounterSeesLibraries()) {
    return Fail("the allocation counter misses library allocations");
  }
  const auto longText = quorbel::bench::MakeAsciiText(kLongTextChars);
  const auto shortText = quorbel::bench::MakeAsciiText(kShortTextChars);
  const auto devNull = WidenAsciiPath("/dev/null");
  quorbel::bench::ScratchFile file("/dev/shm");
  if (!file.error().empty()) return Fail(file.error().c_str());
  const auto missingPath = WidenAsciiPath(file.path() + ".missing/x.mid");
  // The deepest road through the output file: an existing file replaced
  // through a symbolic link, with its attributes copied.
  const std::string link = file.path() + ".link";
  ::unlink(link.c_str());
  if (::symlink(file.path().c_str(), link.c_str()) != 0) return Fail("cannot make a link");
  const auto linkPath = WidenAsciiPath(link);

  // The first calls are cold on purpose: a host's first call pays for
  // whatever the library sets up lazily, and that would show here.
  const unsigned long allocationsBefore = QuorbelAllocationCount();
  const long peakBefore = PeakResidentKiB();
  WriteCall longCall{longText.c_str(), devNull.c_str()};
  CallWriteMIDI(&longCall);
  const long peakAfter = PeakResidentKiB();
  // The paths the long text does not take: a regular file, and an open
  // that fails and must clean up.
  WriteCall fileCall{shortText.c_str(), file.widePath()};
  CallWriteMIDI(&fileCall);
  WriteCall failingCall{shortText.c_str(), missingPath.c_str()};
  CallWriteMIDI(&failingCall);
  WriteCall linkCall{shortText.c_str(), linkPath.c_str()};
  CallWriteMIDI(&linkCall);
  const unsigned long allocations =
      QuorbelAllocationCount() - allocationsBefore;
  if (longCall.result != QUORBEL_OK || fileCall.result != QUORBEL_OK ||
      failingCall.result != 0 || linkCall.result != QUORBEL_OK) {
    return Fail("WriteMIDI did not return what these calls should");
  }

  const auto baseline = MeasureStackHighWater(DoNothing, nullptr);
  if (!baseline) return Fail("cannot run a thread on a stack of its own");
  if (!StackMeasurementIsSound(*baseline)) {
    return Fail("the stack measurement is off for a known stack use");
  }
  WriteCall stackCall{longText.c_str(), devNull.c_str()};
  const auto touched = MeasureStackHighWater(CallWriteMIDI, &stackCall);
  if (!touched || stackCall.result != QUORBEL_OK) {
    return Fail("WriteMIDI on a measured stack failed");
  }
  WriteCall replacingCall{shortText.c_str(), linkPath.c_str()};
  const auto replacing = MeasureStackHighWater(CallWriteMIDI, &replacingCall);
  ::unlink(link.c_str());
  if (!replacing || replacingCall.result != QUORBEL_OK) {
    return Fail("WriteMIDI replacing a file through a link failed");
  }

  std::printf("heap_allocations %lu (malloc, calloc, realloc, new: 4 calls, "
              "10^7 chars to /dev/null, 1999 to a file, a failed open, 1999 through a link)\n",
              allocations);
  std::printf("peak_rss_growth_kib %ld (peak resident set across the 10^7-"
              "char call, text already in memory)\n",
              peakAfter - peakBefore);
  std::printf("stack_bytes %zu (deepest stack of the 10^7-char call: %zu "
              "bytes touched, %zu by an idle thread)\n",
              *touched - *baseline, *touched, *baseline);
  std::printf("stack_bytes_replacing %zu (deepest stack of a 1999-char call "
              "replacing a file through a symbolic link)\n",
              *replacing - *baseline);
  return 0;
}
