// quorbel_memory_use: how much memory WriteMIDI needs beyond the text it is
// handed, for a 10^7-character text: heap allocation calls, growth of the
// peak resident set, and the deepest point the call's stack reached, in
// this process and in the first call of a fresh one. Prints one
// "name value (explanation)" line per figure.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

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

constexpr char kFirstCall[] = "--first-call";
constexpr char kToDevNull[] = "devnull";
constexpr char kThroughLink[] = "link";

// The first call a process makes goes deeper than any later one: each
// library function it reaches for the first time is bound then, and the
// dynamic linker saves the vector registers (AVX-512 state, where the CPU
// has it) on the caller's stack to do so. Run as `--first-call ROAD` in a
// fresh process, this measures that first call before anything else calls
// the library, and prints the bytes it used beyond an idle thread's.
int MeasureFirstCall(const char* road) {
  const bool link = std::strcmp(road, kThroughLink) == 0;
  if (!link && std::strcmp(road, kToDevNull) != 0) return Fail("unknown road");
  const auto text = quorbel::bench::MakeAsciiText(link ? kShortTextChars : kLongTextChars);
  quorbel::bench::ScratchFile file("/dev/shm");
  if (!file.error().empty()) return Fail(file.error().c_str());
  // The file to replace is made without the library, which must not have
  // run before the measured call.
  const std::string linkName = file.path() + ".link";
  if (link) {
    const int fd = ::open(file.path().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ::write(fd, "old", 3) != 3 || ::close(fd) != 0 ||
        ::symlink(file.path().c_str(), linkName.c_str()) != 0) {
      return Fail("cannot make a file and a link to it");
    }
  }
  const auto path = WidenAsciiPath(link ? linkName : "/dev/null");
  WriteCall call{text.c_str(), path.c_str()};
  const auto touched = MeasureStackHighWater(CallWriteMIDI, &call);
  if (link) ::unlink(linkName.c_str());
  const auto baseline = MeasureStackHighWater(DoNothing, nullptr);
  if (!touched || !baseline || call.result != QUORBEL_OK) return Fail("the first call failed");
  std::printf("%zu\n", *touched - *baseline);
  return 0;
}

// Runs this program afresh for the first call on `road`, with the loader's
// default lazy binding, and returns the stack that call used.
std::optional<size_t> FirstCallInFreshProcess(const char* road) {
  int output[2];
  if (::pipe(output) != 0) return std::nullopt;
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    ::dup2(output[1], STDOUT_FILENO);
    ::close(output[0]);
    ::close(output[1]);
    ::unsetenv("LD_BIND_NOW");
    ::execl("/proc/self/exe", "quorbel_memory_use", kFirstCall, road, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(output[1]);
  char line[64] = {};
  size_t length = 0;
  ssize_t got;
  while (length + 1 < sizeof line &&
         (got = ::read(output[0], line + length, sizeof line - 1 - length)) > 0) {
    length += size_t(got);
  }
  ::close(output[0]);
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0 || length == 0) {
    return std::nullopt;
  }
  return size_t(std::strtoull(line, nullptr, 10));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::strcmp(argv[1], kFirstCall) == 0) return MeasureFirstCall(argv[2]);
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

  const auto firstToDevNull = FirstCallInFreshProcess(kToDevNull);
  const auto firstThroughLink = FirstCallInFreshProcess(kThroughLink);
  if (!firstToDevNull || !firstThroughLink) return Fail("a first call in a fresh process failed");

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
  std::printf("stack_bytes_first_call %zu (deepest stack of a fresh process's first call: "
              "%zu bytes for 10^7 chars to /dev/null, %zu replacing a file through a link)\n",
              std::max(*firstToDevNull, *firstThroughLink), *firstToDevNull, *firstThroughLink);
  std::printf("stack_bytes_bound %zu (the most any of these calls used)\n",
              std::max({*touched - *baseline, *replacing - *baseline, *firstToDevNull,
                        *firstThroughLink}));
  return 0;
}
