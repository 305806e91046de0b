#include "UTF8.h"

namespace quorbel::cli {
namespace {

// The length of the sequence that `lead` starts, and the smallest code
// point it may encode (anything smaller is overlong); 0 for a bad lead.
struct Lead {
  int length;
  char32_t smallest;
};

Lead ReadLead(unsigned char lead) {
  if (lead < 0x80) return {1, 0};
  if ((lead & 0xE0) == 0xC0) return {2, 0x80};
  if ((lead & 0xF0) == 0xE0) return {3, 0x800};
  if ((lead & 0xF8) == 0xF0) return {4, 0x10000};
  return {0, 0};
}

}  // namespace

bool UTF8ToUTF16(std::string_view utf8, UTF16String& utf16,
                 size_t& badOffset) {
  utf16.clear();
  utf16.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    const Lead form = ReadLead(lead);
    if (form.length == 0 || utf8.size() - i < size_t(form.length)) {
      badOffset = i;
      return false;
    }
    char32_t codePoint = form.length == 1 ? lead : lead & (0x7F >> form.length);
    for (int k = 1; k < form.length; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) {
        badOffset = i;
        return false;
      }
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    if (codePoint < form.smallest || codePoint > 0x10FFFF ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF)) {
      badOffset = i;
      return false;
    }
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      utf16.push_back(static_cast<QuorbelUTF16Unit>(0xD800 + (codePoint >> 10)));
      utf16.push_back(static_cast<QuorbelUTF16Unit>(0xDC00 + (codePoint & 0x3FF)));
    } else {
      utf16.push_back(static_cast<QuorbelUTF16Unit>(codePoint));
    }
    i += form.length;
  }
  return true;
}

}  // namespace quorbel::cli
