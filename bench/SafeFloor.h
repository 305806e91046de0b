#ifndef QUORBEL_BENCH_SAFE_FLOOR_H
#define QUORBEL_BENCH_SAFE_FLOOR_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The least a writer must pay to give what WriteMIDI gives when it replaces
 * a file, done by hand in the cheapest system calls: the directory held
 * (O_PATH); the file and the directory looked at (statx); write access
 * checked (faccessat); an unnamed temporary with the old file's mode
 * (O_TMPFILE); the old file's attributes listed (listxattrat, or through
 * /proc on a kernel without it); the bytes in one write; the temporary
 * closed through a second descriptor; named (linkat, AT_EMPTY_PATH) and
 * renamed over `name`. It does not look at what it learns, as a writer
 * that found nothing to copy would not: 13 system calls, always.
 *
 * `name` in `directory` must exist. Returns 0, or errno after closing what
 * it opened.
 */
int QuorbelSafeFloorReplace(const char *directory, const char *name, const void *bytes,
                            size_t size);

#ifdef __cplusplus
}
#endif

#endif /* QUORBEL_BENCH_SAFE_FLOOR_H */
