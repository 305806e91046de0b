#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quorbel::cli {

constexpr int32_t kDefaultNoteTicks = 24;  // one second at 15 beats/minute

struct Options {
  int32_t noteTicks = kDefaultNoteTicks;
  std::string outputPath;
  std::vector<std::string> text;  // empty: read standard input
  bool showHelp = false;
  bool showVersion = false;
};

// Parses the command line. Returns an empty string, or the message of a
// usage error.
std::string ParseOptions(int argc, char** argv, Options& options);

extern const char kUsage[];

}  // namespace quorbel::cli
