/* A host written in C11: the public header compiles as C, and WriteMIDI
 * writes the documented example through the shared library. */
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <uchar.h>

#include <quorbel/quorbel.h>

static const unsigned char kExample[68] = {
    0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01,
    0x00, 0x60, 0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x2E, 0x00, 0xFF,
    0x03, 0x07, 0x74, 0x72, 0x61, 0x63, 0x6B, 0x20, 0x31, 0x00, 0xFF, 0x58,
    0x04, 0x04, 0x02, 0x24, 0x08, 0x00, 0xFF, 0x51, 0x03, 0x3D, 0x09, 0x00,
    0x00, 0x90, 0x41, 0x7F, 0x30, 0x80, 0x41, 0x00, 0x00, 0x90, 0x42, 0x7F,
    0x30, 0x80, 0x42, 0x00, 0x00, 0xFF, 0x2F, 0x00};

int main(void) {
  const QuorbelUTF16Unit *path = u"c_host_example.mid";
  if (WriteMIDI(u"AB", 48, path) != QUORBEL_OK) {
    printf("WriteMIDI failed: %s\n", strerror(errno));
    return 1;
  }
  unsigned char bytes[100];
  FILE *file = fopen("c_host_example.mid", "rb");
  const size_t size = file ? fread(bytes, 1, sizeof bytes, file) : 0;
  if (file) fclose(file);
  remove("c_host_example.mid");
  if (size != sizeof kExample || memcmp(bytes, kExample, size) != 0) {
    printf("the file is not the 68-byte example (%zu bytes)\n", size);
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
