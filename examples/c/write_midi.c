/* A host of the library in C: writes TEXT as a MIDI file.
 *   write_midi FILE TICKS TEXT
 * The text is taken as ASCII here, to keep the example short; a real host
 * converts its own text to UTF-16. */
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <quorbel/quorbel.h>

/* ASCII to UTF-16: each byte is one code unit. */
static QuorbelUTF16Unit *Widen(const char *text) {
  const size_t length = strlen(text);
  QuorbelUTF16Unit *wide = malloc((length + 1) * sizeof *wide);
  if (wide == NULL) return NULL;
  for (size_t i = 0; i <= length; ++i) wide[i] = (QuorbelUTF16Unit)(unsigned char)text[i];
  return wide;
}

int main(int argc, char **argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: write_midi FILE TICKS TEXT\n");
    return 2;
  }
  QuorbelUTF16Unit *path = Widen(argv[1]);
  QuorbelUTF16Unit *text = Widen(argv[3]);
  if (path == NULL || text == NULL) return 1;
  const int32_t result = WriteMIDI(text, (int32_t)atol(argv[2]), path);
  const int error = errno;
  free(path);
  free(text);
  if (result != QUORBEL_OK) {
    fprintf(stderr, "write_midi: cannot write '%s': %s\n", argv[1], strerror(error));
    return 1;
  }
  printf("%s written\n", argv[1]);
  return 0;
}
