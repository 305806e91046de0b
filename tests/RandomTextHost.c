/* Writes one fixed pseudo-random text of 100,000 characters (ASCII, the
 * rest of the Basic Multilingual Plane and astral characters as surrogate
 * pairs) at note lengths 48, 200 and QUORBEL_MAX_NOTE_TICKS, into DIR/random-<ticks>.mid.
 * Every processor and byte order must write the very same files.
 *   quorbel_random_text_host DIR */
#include <errno.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <quorbel/quorbel.h>

enum { kCharacters = 100000 };

static uint32_t state = 0x9E3779B9u;

/* xorshift32: the same sequence everywhere, unlike rand(). */
static uint32_t Next(void) {
  state ^= state << 13;
  state ^= state >> 17;
  state ^= state << 5;
  return state;
}

static uint32_t RandomCharacter(void) {
  const uint32_t r = Next();
  switch (r % 8) {
    case 0: case 1: case 2: return 0x20 + r / 8 % 0x5F;             /* printable ASCII */
    case 3: case 4: return 0x80 + r / 8 % (0x800 - 0x80);           /* two UTF-8 bytes */
    case 5: {                                                       /* three, no surrogates */
      const uint32_t c = 0x800 + r / 8 % (0x10000 - 0x800 - 0x800);
      return c < 0xD800 ? c : c + 0x800;
    }
    default: return 0x10000 + r / 8 % 0x100000;                     /* astral: four */
  }
}

static QuorbelUTF16Unit text[2 * kCharacters + 1];

int main(int argc, char **argv) {
  if (argc != 2 || strlen(argv[1]) > 200) {
    fprintf(stderr, "usage: quorbel_random_text_host DIR\n");
    return 2;
  }
  size_t units = 0;
  for (int i = 0; i < kCharacters; ++i) {
    const uint32_t c = RandomCharacter();
    if (c < 0x10000) {
      text[units++] = (QuorbelUTF16Unit)c;
    } else {
      text[units++] = (QuorbelUTF16Unit)(0xD800 + ((c - 0x10000) >> 10));
      text[units++] = (QuorbelUTF16Unit)(0xDC00 + ((c - 0x10000) & 0x3FF));
    }
  }
  text[units] = 0;
  if (mkdir(argv[1], 0777) != 0 && errno != EEXIST) {
    fprintf(stderr, "cannot make %s: %s\n", argv[1], strerror(errno));
    return 1;
  }

  static const int32_t kTicks[] = {48, 200, QUORBEL_MAX_NOTE_TICKS};
  for (size_t t = 0; t < sizeof kTicks / sizeof kTicks[0]; ++t) {
    char name[256];
    QuorbelUTF16Unit path[256];
    snprintf(name, sizeof name, "%s/random-%ld.mid", argv[1], (long)kTicks[t]);
    size_t i = 0;
    for (; name[i] != '\0'; ++i) path[i] = (QuorbelUTF16Unit)(unsigned char)name[i];
    path[i] = 0;
    if (WriteMIDI(text, kTicks[t], path) != QUORBEL_OK) {
      fprintf(stderr, "WriteMIDI %s: %s\n", name, strerror(errno));
      return 1;
    }
    printf("wrote %s\n", name);
  }
  return 0;
}
