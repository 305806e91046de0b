/* A host written in C11: the public header compiles as C, and WriteMIDI
 * writes the documented example through the shared library. */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <uchar.h>

#include <quorbel/quorbel.h>

#include "DocumentedExample.h"

int main(void) {
  const QuorbelUTF16Unit *path = u"c_host_example.mid";
  if (WriteMIDI(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, path) != QUORBEL_OK) {
    printf("WriteMIDI failed: %s\n", strerror(errno));
    return 1;
  }
  unsigned char bytes[sizeof kDocumentedExample + 1];
  FILE *file = fopen("c_host_example.mid", "rb");
  const size_t size = file ? fread(bytes, 1, sizeof bytes, file) : 0;
  if (file) fclose(file);
  remove("c_host_example.mid");
  if (size != sizeof kDocumentedExample || memcmp(bytes, kDocumentedExample, size) != 0) {
    printf("the file is not the %zu-byte example (%zu bytes)\n", sizeof kDocumentedExample, size);
    return 1;
  }
  errno = 0;
  if (WriteMIDI(u"AB", -1, path) != 0 || errno != EINVAL) {
    printf("negative ticks were not refused with EINVAL\n");
    return 1;
  }
  printf("C host: example written, refusal reported\n");
  return 0;
}
