#pragma once

#include <cstddef>
#include <optional>

namespace quorbel::bench {

// Runs function(argument) on a new thread whose stack is allocated here
// and filled with a pattern beforehand, and returns how many bytes at the
// top of that stack were overwritten: the deepest point the thread
// reached. That includes what glibc keeps at the top of a thread's stack
// (its thread descriptor and static TLS) and the thread's start-up frames,
// so a run of a function that does nothing gives the baseline to subtract.
// nullopt when the stack or the thread cannot be created.
std::optional<size_t> MeasureStackHighWater(void (*function)(void*),
                                            void* argument);

}  // namespace quorbel::bench
