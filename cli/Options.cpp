#include "Options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "QuorbelVersion.h"
#include "quorbel/quorbel.h"

namespace quorbel::cli {

// The notes are the bytes of the text as the library converts it: on Windows
// those of the ANSI code page, not of UTF-8.
#if defined(_WIN32)
#define QUORBEL_TEXT_BYTES                                                    \
  "Write TEXT as a Standard MIDI File: every byte of its form in the ANSI\n" \
  "code page becomes one note (its value & 0x7F) of TICKS ticks on channel 1.\n"
#else
#define QUORBEL_TEXT_BYTES                                                      \
  "Write TEXT as a Standard MIDI File: every byte of its UTF-8 form becomes\n" \
  "one note (its value & 0x7F) of TICKS ticks on channel 1.\n"
#endif

const char kUsage[] =
    "Usage: quorbel [-t TICKS] -o FILE [TEXT...]\n"
    QUORBEL_TEXT_BYTES
    "With no TEXT, read the text from standard input (newlines are notes too).\n"
    "Options and TEXT may come in any order; after --, all is TEXT.\n"
    "\n"
    "  -o, --output FILE  the file to write (replaced if it exists); - writes\n"
    "                     to standard output\n"
    "  -t, --ticks TICKS  note length, 0 to " QUORBEL_MAX_NOTE_TICKS_TEXT " ticks; 24 ticks last one\n"
    "                     second, 96 make a quarter note (default 24)\n"
    "  -h, --help         show this help and exit\n"
    "  -V, --version      show the version and exit\n"
    "\n"
    "Exit status: 0 written, 1 the file could not be written, 2 usage error.\n";

namespace {

bool ParseTicks(const char* text, int32_t& ticks) {
  if (*text < '0' || *text > '9') return false;  // no sign, no blanks
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  if (errno != 0 || *end != '\0' || value > QUORBEL_MAX_NOTE_TICKS) {
    return false;
  }
  ticks = static_cast<int32_t>(value);
  return true;
}

// What one option does with its value (null for an option that takes
// none). Returns an empty string, or the message of a usage error.
std::string Apply(char option, const char* value, Options& options) {
  switch (option) {
    case 'o':
      options.outputPath = value;
      return {};
    case 't':
      if (!ParseTicks(value, options.noteTicks)) {
        return std::string("invalid note length '") + value +
               "': expected a whole number of ticks from 0 to " +
               std::to_string(QUORBEL_MAX_NOTE_TICKS);
      }
      return {};
    case 'h':
      options.showHelp = true;
      return {};
    case 'V':
      options.showVersion = true;
      return {};
    default:
      return std::string("unknown option '-") + option + "'";
  }
}

bool TakesValue(char option) { return option == 'o' || option == 't'; }

char LongOption(const std::string& name) {
  if (name == "output") return 'o';
  if (name == "ticks") return 't';
  if (name == "help") return 'h';
  if (name == "version") return 'V';
  return 0;
}

}  // namespace

// GNU conventions: options anywhere among the words, short ones clustered
// (-t48, -Vh), long ones as --name VALUE or --name=VALUE, "--" ending them.
std::string ParseOptions(int argc, char** argv, Options& options) {
  bool haveOutput = false;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      options.text.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    std::string error;
    if (word[1] == '-') {
      const size_t equals = word.find('=');
      const std::string name = word.substr(2, equals - 2);
      const std::string shown = "--" + name;
      const char option = LongOption(name);
      if (option == 0) return "unknown option '" + shown + "'";
      const char* value = nullptr;
      if (TakesValue(option)) {
        if (equals != std::string::npos) {
          value = argv[i] + equals + 1;
        } else if (i + 1 < argc) {
          value = argv[++i];
        } else {
          return "option '" + shown + "' needs a value";
        }
      } else if (equals != std::string::npos) {
        return "option '" + shown + "' takes no value";
      }
      error = Apply(option, value, options);
      haveOutput |= option == 'o';
    } else {
      for (size_t k = 1; k < word.size() && error.empty(); ++k) {
        const char option = word[k];
        const std::string shown = std::string("-") + option;
        if (std::strchr("othV", option) == nullptr) {
          return "unknown option '" + shown + "'";
        }
        const char* value = nullptr;
        if (TakesValue(option)) {
          if (k + 1 < word.size()) {
            value = argv[i] + k + 1;
          } else if (i + 1 < argc) {
            value = argv[++i];
          } else {
            return "option '" + shown + "' needs a value";
          }
          k = word.size();  // the rest of the word was the value
        }
        error = Apply(option, value, options);
        haveOutput |= option == 'o';
      }
    }
    if (!error.empty()) return error;
  }
  if (options.showHelp || options.showVersion) return {};
  if (!haveOutput) return "missing -o FILE: name the file to write";
  return {};
}

}  // namespace quorbel::cli
