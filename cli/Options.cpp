#include "Options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>

#include "quorbel/quorbel.h"

namespace quorbel::cli {

const char kUsage[] =
    "Usage: quorbel [-t TICKS] -o FILE [TEXT...]\n"
    "Write TEXT as a Standard MIDI File: every byte of its UTF-8 form becomes\n"
    "one note (its value & 0x7F) of TICKS ticks on channel 1.\n"
    "With no TEXT, read the text from standard input (newlines are notes too).\n"
    "\n"
    "  -o, --output FILE  the file to write (replaced if it exists)\n"
    "  -t, --ticks TICKS  note length, 0 to 268435455 ticks; 24 ticks last one\n"
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

// The option that getopt just refused: a long one as written (without any
// "=value"), a short one as its letter, even inside a cluster like -xt5.
std::string OptionName(char** argv, int index) {
  const std::string word = argv[index];
  if (word.rfind("--", 0) == 0) return word.substr(0, word.find('='));
  if (optopt != 0) return std::string("-") + static_cast<char>(optopt);
  return word;
}

}  // namespace

std::string ParseOptions(int argc, char** argv, Options& options) {
  static const option kLongOptions[] = {
      {"output", required_argument, nullptr, 'o'},
      {"ticks", required_argument, nullptr, 't'},
      {"help", no_argument, nullptr, 'h'},
      {"version", no_argument, nullptr, 'V'},
      {nullptr, 0, nullptr, 0},
  };
  opterr = 0;  // the messages below say it better, with our prefix
  optind = 1;
  bool haveOutput = false;
  for (;;) {
    const int previous = optind;
    const int option = getopt_long(argc, argv, ":o:t:hV", kLongOptions, nullptr);
    if (option == -1) break;
    switch (option) {
      case 'o':
        options.outputPath = optarg;
        haveOutput = true;
        break;
      case 't':
        if (!ParseTicks(optarg, options.noteTicks)) {
          return std::string("invalid note length '") + optarg +
                 "': expected a whole number of ticks from 0 to 268435455";
        }
        break;
      case 'h':
        options.showHelp = true;
        return {};
      case 'V':
        options.showVersion = true;
        return {};
      case ':':
        return "option '" + OptionName(argv, previous) + "' needs a value";
      default:
        return "unknown option '" + OptionName(argv, previous) + "'";
    }
  }
  if (!haveOutput) return "missing -o FILE: name the file to write";
  options.text.assign(argv + optind, argv + argc);
  return {};
}

}  // namespace quorbel::cli
