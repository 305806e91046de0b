#ifndef QUORBEL_TESTS_ALLOCATION_COUNTER_H
#define QUORBEL_TESTS_ALLOCATION_COUNTER_H

/*
 * Linking AllocationCounter.c into an executable replaces the C library's
 * malloc, calloc, realloc and aligned allocations for the whole process,
 * shared libraries included, with versions that count each call before
 * handing it to glibc's allocator. C++ operator new reaches them too, as
 * libstdc++ builds it on malloc. The executable must export its symbols
 * (ENABLE_EXPORTS) so the libraries bind to these definitions.
 */

#ifdef __cplusplus
extern "C" {
#endif

/* Allocation calls in the whole process since the program started. */
unsigned long QuorbelAllocationCount(void);

#ifdef __cplusplus
}
#endif

#endif /* QUORBEL_TESTS_ALLOCATION_COUNTER_H */
