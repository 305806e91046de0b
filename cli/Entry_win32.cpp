#include <windows.h>

#include <string>
#include <vector>

#include "Tool.h"

namespace {

std::string ToUTF8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(size > 0 ? size_t(size) : 1, '\0');
  if (size > 0) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminator
  return utf8;
}

}  // namespace

// The arguments arrive as UTF-16; the tool reads them as UTF-8, and the
// text goes back to UTF-16 unchanged for WriteMIDI. Windows has no signal
// for the file size limit.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(ToUTF8(wargv[i]));
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return quorbel::cli::RunTool(argc, argv.data());
}
