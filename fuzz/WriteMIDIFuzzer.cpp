// WriteMIDI on any text and any note length. The oracle knows the file from
// first principles: the text's bytes come from iconv, an independent UTF-16
// to UTF-8 conversion, and the rest of the file from its documented layout.
//
// Input: four bytes of noteTicks (little-endian), then UTF-16LE text.

#include <iconv.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "ExpectedMIDIFile.h"
#include "TempDirectory.h"
#include "TextTrack.h"
#include "quorbel/quorbel.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Check(bool condition) {
  if (!condition) std::abort();
}

// A folder of the run's own, in memory where the system offers it, removed
// when the run ends.
const quorbel::test::TempDirectory& OutputDirectory() {
  static const quorbel::test::TempDirectory directory(
      access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp");
  Check(!directory.path().empty());
  return directory;
}

// Nothing but the output itself may be left in the folder.
bool FolderHoldsOnly(const char* name) {
  const std::vector<std::string> entries = OutputDirectory().Entries();
  return entries.empty() || (entries.size() == 1 && entries[0] == name);
}

// The UTF-8 bytes of the text: unpaired surrogates become U+FFFD first,
// since iconv refuses them, and iconv does the rest.
Bytes ExpectedTextBytes(const std::u16string& text) {
  std::u16string clean;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      clean += unit;
      clean += text[++i];
    } else {
      clean += (high || low) ? char16_t(0xFFFD) : unit;
    }
  }
  static iconv_t converter = iconv_open("UTF-8", "UTF-16LE");
  Check(converter != iconv_t(-1));
  Bytes in;
  for (const char16_t unit : clean) in.insert(in.end(), {uint8_t(unit), uint8_t(unit >> 8)});
  Bytes out(clean.size() * 3 + 4);
  char* inPointer = reinterpret_cast<char*>(in.data());
  char* outPointer = reinterpret_cast<char*>(out.data());
  size_t inLeft = in.size(), outLeft = out.size();
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  Check(iconv(converter, &inPointer, &inLeft, &outPointer, &outLeft) != size_t(-1));
  out.resize(out.size() - outLeft);
  return out;
}

// The count before the file is written, whose vector scan reads whole
// aligned blocks and groups of four, holds to the oracle wherever the text
// starts: at each of the 32 unit alignments a group of 64 bytes allows.
void CheckCountAtEveryAlignment(const std::u16string& text, size_t expectedBytes) {
  constexpr size_t kGroupUnits = 32;
  std::vector<char16_t> room(text.size() + 2 * kGroupUnits + 1);
  size_t grouped = 0;
  while (reinterpret_cast<uintptr_t>(room.data() + grouped) % (2 * kGroupUnits) != 0) ++grouped;
  for (size_t offset = grouped; offset < grouped + kGroupUnits; ++offset) {
    std::copy(text.begin(), text.end(), room.begin() + offset);
    room[offset + text.size()] = 0;
    const quorbel::TextSize size = quorbel::MeasureText(room.data() + offset);
    Check(size.units == text.size() && size.bytes == expectedBytes);
    Check(size.ascii == std::all_of(text.begin(), text.end(), [](char16_t u) { return u < 0x80; }));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  const int32_t ticks = int32_t(uint32_t(data[0]) | uint32_t(data[1]) << 8 |
                                uint32_t(data[2]) << 16 | uint32_t(data[3]) << 24);
  std::u16string text;
  for (size_t i = 4; i + 1 < size; i += 2) {
    const char16_t unit = char16_t(data[i] | data[i + 1] << 8);
    if (unit == 0) break;  // the text ends at its terminator
    text += unit;
  }
  const std::string path = OutputDirectory() / "out.mid";
  unlink(path.c_str());
  const std::u16string widePath(path.begin(), path.end());

  errno = 0;
  const int32_t result = WriteMIDI(text.c_str(), ticks, widePath.c_str());
  if (ticks < 0 || ticks > QUORBEL_MAX_NOTE_TICKS) {
    Check(result == 0 && errno == EINVAL);
    Check(access(path.c_str(), F_OK) != 0);
    Check(FolderHoldsOnly(""));
    return 0;
  }
  Check(result == QUORBEL_OK);
  const Bytes expectedText = ExpectedTextBytes(text);
  CheckCountAtEveryAlignment(text, expectedText.size());
  Check(FolderHoldsOnly("out.mid"));
  Check(quorbel::test::ReadFile(path) == quorbel::test::ExpectedMIDIFile(expectedText, uint32_t(ticks)));
  return 0;
}
