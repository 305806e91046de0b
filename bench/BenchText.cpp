#include "BenchText.h"

namespace quorbel::bench {

UTF16String MakeAsciiText(size_t length) {
  static constexpr std::string_view kProse =
      "Pack my box with five dozen liquor jugs, then sing it in 4/4 time. ";
  UTF16String text;
  text.reserve(length);
  while (text.size() < length) {
    text.push_back(kProse[text.size() % kProse.size()]);
  }
  return text;
}

UTF16String WidenAsciiPath(std::string_view path) {
  UTF16String wide;
  for (const char c : path) {
    if (static_cast<unsigned char>(c) >= 0x80) return {};
    wide.push_back(static_cast<QuorbelUTF16Unit>(c));
  }
  return wide;
}

}  // namespace quorbel::bench
