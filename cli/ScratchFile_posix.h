#pragma once

#include <string>

#include "UTF8.h"

namespace quorbel::cli {

// Where WriteMIDI makes a file that the tool then reads back.
struct ScratchFile {
  int fd = -1;                // to read back
  std::string path;           // as the system names it
  UTF16String libraryPath;    // the same, for WriteMIDI
  bool named = false;         // a name in a directory, to be removed
};

// Returns false, with errno set, where no scratch file could be made.
bool OpenScratchFile(ScratchFile& scratch);

// The scratch file as WriteMIDI left it, open for reading and with no name;
// or, after a failure (`written` false, or no way to read it), gone and -1.
int ReopenScratchFile(const ScratchFile& scratch, bool written);

}  // namespace quorbel::cli
