// quorbel: writes a line of text as a Standard MIDI File, through the
// library's exported WriteMIDI, as any host application would call it.

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "Options.h"
#include "QuorbelVersion.h"
#include "ToolPlatform.h"
#include "UTF8.h"
#include "quorbel/quorbel.h"

namespace {

using quorbel::cli::UTF16String;

constexpr int kExitWriteFailed = 1;
constexpr int kExitUsage = 2;
constexpr uint64_t kTicksPerSecond = 24;

int UsageError(const std::string& message) {
  std::cerr << "quorbel: " << message << "\n"
            << "Try 'quorbel --help' for more information.\n";
  return kExitUsage;
}

std::string JoinWithSpaces(const std::vector<std::string>& words) {
  std::string joined;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) joined += ' ';
    joined += words[i];
  }
  return joined;
}

// Whole seconds as they are; anything else to the millisecond.
std::string FormatSeconds(uint64_t ticks) {
  if (ticks % kTicksPerSecond == 0) return std::to_string(ticks / kTicksPerSecond);
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", double(ticks) / kTicksPerSecond);
  std::string formatted = text;
  formatted.erase(formatted.find_last_not_of('0') + 1);
  if (formatted.back() == '.') formatted.pop_back();
  return formatted;
}

// Every note is 7 bytes and its delta time; the rest of the file is 52.
uint64_t FileSize(uint64_t notes, uint32_t noteTicks) {
  uint64_t deltaTimeSize = 1;
  while (noteTicks >> (7 * deltaTimeSize)) ++deltaTimeSize;
  return 52 + notes * (7 + deltaTimeSize);
}

}  // namespace

namespace quorbel::cli {

int RunTool(int argc, char** argv) {
  IgnoreFileSizeSignal();

  quorbel::cli::Options options;
  const std::string usageError = quorbel::cli::ParseOptions(argc, argv, options);
  if (!usageError.empty()) return UsageError(usageError);
  if (options.showHelp || options.showVersion) {
    if (options.showHelp) {
      std::cout << quorbel::cli::kUsage;
    } else {
      std::cout << "quorbel " QUORBEL_VERSION_STRING "\n";
    }
    if (!std::cout.flush()) {
      std::cerr << "quorbel: cannot write to standard output: " << std::strerror(errno) << "\n";
      return kExitWriteFailed;
    }
    return 0;
  }

  std::string text;
  if (options.text.empty()) {
    if (const int error = quorbel::cli::ReadStandardInput(text)) {
      std::cerr << "quorbel: cannot read standard input: "
                << std::strerror(error) << "\n";
      return kExitWriteFailed;
    }
  } else {
    text = JoinWithSpaces(options.text);
  }
  // The library takes a null-terminated text: a NUL would end it early.
  if (const size_t nul = text.find('\0'); nul != std::string::npos) {
    return UsageError("text holds a NUL byte at byte " + std::to_string(nul));
  }

  UTF16String notes, path;
  size_t badOffset = 0;
  if (!quorbel::cli::UTF8ToUTF16(text, notes, badOffset)) {
    return UsageError("text is not valid UTF-8 at byte " +
                      std::to_string(badOffset));
  }
  if (!quorbel::cli::UTF8ToUTF16(options.outputPath, path, badOffset)) {
    return UsageError("output path is not valid UTF-8 at byte " +
                      std::to_string(badOffset));
  }

  const bool toStandardOutput = options.outputPath == "-";
  const int error = toStandardOutput
                        ? WriteMIDIToStandardOutput(notes.c_str(), options.noteTicks)
                        : WriteMIDI(notes.c_str(), options.noteTicks, path.c_str()) == QUORBEL_OK
                              ? 0
                              : errno;
  if (error != 0) {
    std::cerr << "quorbel: cannot write '"
              << (toStandardOutput ? "standard output" : options.outputPath)
              << "': " << std::strerror(error) << "\n";
    return kExitWriteFailed;
  }

  const uint64_t noteCount = NoteCount(notes);
  const auto noteTicks = static_cast<uint32_t>(options.noteTicks);
  std::ostream& summary =
      toStandardOutput || IsStandardOutput(options.outputPath) ? std::cerr : std::cout;
  summary << (toStandardOutput ? "standard output" : options.outputPath) << ": " << noteCount
          << (noteCount == 1 ? " note, " : " notes, ")
          << FormatSeconds(noteCount * noteTicks) << " s, "
          << FileSize(noteCount, noteTicks) << " bytes" << std::endl;
  if (!summary) {
    std::cerr << "quorbel: cannot write the summary: " << std::strerror(errno)
              << "\n";
    return kExitWriteFailed;
  }
  return 0;
}

}  // namespace quorbel::cli
