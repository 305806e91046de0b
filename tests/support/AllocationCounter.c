#include "AllocationCounter.h"

#include <errno.h>
#include <malloc.h>
#include <stdatomic.h>
#include <stdlib.h>

/* glibc's allocator under the names it keeps for replacements like this
 * one, so counting does not recurse into the counter. */
extern void *__libc_malloc(size_t size);
extern void *__libc_calloc(size_t count, size_t size);
extern void *__libc_realloc(void *block, size_t size);
extern void *__libc_memalign(size_t alignment, size_t size);
extern void *__libc_valloc(size_t size);
extern void *__libc_pvalloc(size_t size);
extern void __libc_free(void *block);

static atomic_ulong allocationCount;

static void Count(void) {
  atomic_fetch_add_explicit(&allocationCount, 1, memory_order_relaxed);
}

unsigned long QuorbelAllocationCount(void) {
  return atomic_load_explicit(&allocationCount, memory_order_relaxed);
}

void *malloc(size_t size) {
  Count();
  return __libc_malloc(size);
}

void *calloc(size_t count, size_t size) {
  Count();
  return __libc_calloc(count, size);
}

void *realloc(void *block, size_t size) {
  Count();
  return __libc_realloc(block, size);
}

/* Not counted, but replaced with the rest: glibc requires malloc and free
 * to be replaced together. */
void free(void *block) { __libc_free(block); }

void *memalign(size_t alignment, size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size) {
  Count();
  return __libc_memalign(alignment, size);
}

int posix_memalign(void **block, size_t alignment, size_t size) {
  Count();
  if (alignment % sizeof(void *) != 0 ||
      (alignment & (alignment - 1)) != 0) {
    return EINVAL;
  }
  void *allocated = __libc_memalign(alignment, size);
  if (allocated == NULL && size != 0) return ENOMEM;
  *block = allocated;
  return 0;
}

void *valloc(size_t size) {
  Count();
  return __libc_valloc(size);
}

void *pvalloc(size_t size) {
  Count();
  return __libc_pvalloc(size);
}
