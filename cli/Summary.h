#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

namespace quorbel::cli {

// What the tool says of a file it wrote.
struct Summary {
  std::string name;                  // the file as the user named it
  uint64_t notes = 0;
  uint32_t noteTicks = 0;
  std::optional<uint64_t> fileSize;  // none where the file keeps no size
};

// Prints the summary's line ("hello.mid: 12 notes, 12 s, 148 bytes").
// Returns whether it could.
bool PrintSummary(std::ostream& out, const Summary& summary);

}  // namespace quorbel::cli
