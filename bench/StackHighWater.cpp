#include "StackHighWater.h"

#include <pthread.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>

namespace quorbel::bench {
namespace {

// Far more than the library should ever need; the measurement is only
// valid if the thread never comes near the bottom.
constexpr size_t kStackBytes = 4 << 20;
constexpr unsigned char kPattern = 0xA5;

struct Call {
  void (*function)(void*);
  void* argument;
};

void* RunCall(void* call) {
  const auto* c = static_cast<const Call*>(call);
  c->function(c->argument);
  return nullptr;
}

// Returns 0 once the thread has run and finished, or an errno value.
int RunOnStack(void* stack, const Call& call) {
  pthread_attr_t attributes;
  if (int error = ::pthread_attr_init(&attributes)) return error;
  int error = ::pthread_attr_setstack(&attributes, stack, kStackBytes);
  pthread_t thread;
  if (error == 0) {
    error = ::pthread_create(&thread, &attributes, RunCall,
                             const_cast<Call*>(&call));
  }
  ::pthread_attr_destroy(&attributes);
  if (error == 0) error = ::pthread_join(thread, nullptr);
  return error;
}

}  // namespace

std::optional<size_t> MeasureStackHighWater(void (*function)(void*),
                                            void* argument) {
  const auto page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
  void* mapping = ::mmap(nullptr, page + kStackBytes, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapping == MAP_FAILED) return std::nullopt;
  // A stack given to pthread_attr_setstack has no guard page: without this
  // one, an overflow would quietly overwrite whatever lies below.
  if (::mprotect(mapping, page, PROT_NONE) != 0) {
    ::munmap(mapping, page + kStackBytes);
    return std::nullopt;
  }
  auto* stack = static_cast<unsigned char*>(mapping) + page;
  std::memset(stack, kPattern, kStackBytes);

  const Call call{function, argument};
  std::optional<size_t> used;
  if (RunOnStack(stack, call) == 0) {
    // The stack grows down: the lowest overwritten byte is the deepest.
    size_t untouched = 0;
    while (untouched < kStackBytes && stack[untouched] == kPattern) {
      ++untouched;
    }
    used = kStackBytes - untouched;
  }
  ::munmap(mapping, page + kStackBytes);
  return used;
}

}  // namespace quorbel::bench
