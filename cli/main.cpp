// quorbel: writes a line of text as a Standard MIDI File, through the
// library's exported WriteMIDI, as any host application would call it.

#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "FileSize.h"
#include "NoteCount.h"
#include "Options.h"
#include "QuorbelVersion.h"
#include "StandardInput.h"
#include "StandardOutput.h"
#include "Summary.h"
#include "Tool.h"
#include "UTF8.h"
#include "quorbel/quorbel.h"

namespace quorbel::cli {
namespace {

constexpr int kExitWriteFailed = 1;
constexpr int kExitUsage = 2;

int UsageError(const std::string& message) {
  std::cerr << "quorbel: " << message << "\n"
            << "Try 'quorbel --help' for more information.\n";
  return kExitUsage;
}

int WriteFailed(const std::string& what, int error) {
  std::cerr << "quorbel: " << what << ": " << std::strerror(error) << "\n";
  return kExitWriteFailed;
}

int ShowHelpOrVersion(const Options& options) {
  if (options.showHelp) {
    std::cout << kUsage;
  } else {
    std::cout << "quorbel " QUORBEL_VERSION_STRING "\n";
  }
  if (!std::cout.flush()) return WriteFailed("cannot write to standard output", errno);
  return 0;
}

std::string JoinWithSpaces(const std::vector<std::string>& words) {
  std::string joined;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i > 0) joined += ' ';
    joined += words[i];
  }
  return joined;
}

// The text: the words, or all of standard input. Returns 0, or the exit
// status once the failure is reported.
int ReadText(const Options& options, std::string& text) {
  if (!options.text.empty()) {
    text = JoinWithSpaces(options.text);
    return 0;
  }
  if (const int error = ReadStandardInput(text)) {
    return WriteFailed("cannot read standard input", error);
  }
  return 0;
}

// The text and the path as WriteMIDI takes them. Returns an empty string,
// or the message of a usage error.
std::string ToLibraryForms(const std::string& text, const std::string& path,
                           UTF16String& libraryText, UTF16String& libraryPath) {
  // The library takes a null-terminated text: a NUL would end it early.
  if (const size_t nul = text.find('\0'); nul != std::string::npos) {
    return "text holds a NUL byte at byte " + std::to_string(nul);
  }
  size_t badOffset = 0;
  if (!UTF8ToUTF16(text, libraryText, badOffset)) {
    return "text is not valid UTF-8 at byte " + std::to_string(badOffset);
  }
  if (!UTF8ToUTF16(path, libraryPath, badOffset)) {
    return "output path is not valid UTF-8 at byte " + std::to_string(badOffset);
  }
  return {};
}

// Writes the file, and learns its size from it: from the file itself, or
// from what went through standard output, which keeps no size of its own
// where it is a pipe. Returns 0, or the errno value of the failure.
int WriteFile(const Options& options, const UTF16String& text, const UTF16String& path,
              std::optional<uint64_t>& fileSize) {
  const std::string& name = options.outputPath;
  if (name == "-" || (IsStandardOutput(name) && !RegularFileSize(name))) {
    uint64_t copied = 0;
    const int error = WriteMIDIToStandardOutput(text.c_str(), options.noteTicks, copied);
    fileSize = copied;
    return error;
  }
  if (WriteMIDI(text.c_str(), options.noteTicks, path.c_str()) != QUORBEL_OK) return errno;
  fileSize = RegularFileSize(name);
  return 0;
}

}  // namespace

int RunTool(int argc, char** argv) {
  Options options;
  if (const std::string error = ParseOptions(argc, argv, options); !error.empty()) {
    return UsageError(error);
  }
  if (options.showHelp || options.showVersion) return ShowHelpOrVersion(options);
  std::string text;
  if (const int status = ReadText(options, text)) return status;
  UTF16String libraryText, libraryPath;
  const std::string formError = ToLibraryForms(text, options.outputPath, libraryText, libraryPath);
  if (!formError.empty()) return UsageError(formError);

  const bool toStandardOutput = options.outputPath == "-";
  Summary summary{toStandardOutput ? "standard output" : options.outputPath,
                  NoteCount(text, libraryText), uint32_t(options.noteTicks), std::nullopt};
  if (const int error = WriteFile(options, libraryText, libraryPath, summary.fileSize)) {
    return WriteFailed("cannot write '" + summary.name + "'", error);
  }
  std::ostream& out =
      toStandardOutput || IsStandardOutput(options.outputPath) ? std::cerr : std::cout;
  if (!PrintSummary(out, summary)) return WriteFailed("cannot write the summary", errno);
  return 0;
}

}  // namespace quorbel::cli
