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

// The command line as it is read: the words left, and what they said.
struct Reading {
  int argc;
  char** argv;
  Options& options;
  int next = 1;  // the word to read next
  bool haveOutput = false;
};

// Sets what `option` says, with its value (null for an option that takes
// none). Returns an empty string, or the message of a usage error.
std::string SetOption(char option, const char* value, Reading& reading) {
  Options& options = reading.options;
  switch (option) {
    case 'o':
      options.outputPath = value;
      reading.haveOutput = true;
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
    default:  // 'V'
      options.showVersion = true;
      return {};
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

// Sets `option` (shown to the user as `shown`) with its value: `attached`
// to the option's word where that holds one, else the next word.
std::string SetWithValue(char option, const std::string& shown, const char* attached,
                         Reading& reading) {
  if (attached == nullptr && reading.next == reading.argc) {
    return "option '" + shown + "' needs a value";
  }
  return SetOption(option, attached != nullptr ? attached : reading.argv[reading.next++], reading);
}

// --name, --name VALUE or --name=VALUE.
std::string ReadLongOption(const char* word, Reading& reading) {
  const char* equals = std::strchr(word, '=');
  const std::string name = equals != nullptr ? std::string(word + 2, equals) : word + 2;
  const std::string shown = "--" + name;
  const char option = LongOption(name);
  if (option == 0) return "unknown option '" + shown + "'";
  if (TakesValue(option)) {
    return SetWithValue(option, shown, equals != nullptr ? equals + 1 : nullptr, reading);
  }
  if (equals != nullptr) return "option '" + shown + "' takes no value";
  return SetOption(option, nullptr, reading);
}

// -x, clustered (-Vh); the first that takes a value takes the rest of the
// word (-t48) or, where nothing is left, the next word.
std::string ReadShortOptions(const char* word, Reading& reading) {
  for (const char* letter = word + 1; *letter != '\0'; ++letter) {
    const char option = *letter;
    const std::string shown = std::string("-") + option;
    if (std::strchr("othV", option) == nullptr) return "unknown option '" + shown + "'";
    if (TakesValue(option)) {
      return SetWithValue(option, shown, letter[1] != '\0' ? letter + 1 : nullptr, reading);
    }
    if (std::string error = SetOption(option, nullptr, reading); !error.empty()) return error;
  }
  return {};
}

}  // namespace

// GNU conventions: options anywhere among the words, short ones clustered
// (-t48, -Vh), long ones as --name VALUE or --name=VALUE, "--" ending them.
std::string ParseOptions(int argc, char** argv, Options& options) {
  Reading reading{argc, argv, options};
  bool optionsEnded = false;
  while (reading.next < argc) {
    const char* word = argv[reading.next++];
    std::string error;
    if (optionsEnded || word[0] != '-' || word[1] == '\0') {
      options.text.push_back(word);
    } else if (std::strcmp(word, "--") == 0) {
      optionsEnded = true;
    } else {
      error = word[1] == '-' ? ReadLongOption(word, reading) : ReadShortOptions(word, reading);
    }
    if (!error.empty()) return error;
  }
  if (options.showHelp || options.showVersion || reading.haveOutput) return {};
  return "missing -o FILE: name the file to write";
}

}  // namespace quorbel::cli
