#pragma once

// The file WriteMIDI writes for a text, built from the file format's
// documented layout, without any of the library's code: the oracle of the
// tests and the fuzzer that compare whole files.

#include <cstdint>
#include <vector>

namespace quorbel::test {

// A MIDI variable-length quantity: seven bits a byte, highest group first.
inline std::vector<uint8_t> VariableLength(uint32_t value) {
  std::vector<uint8_t> groups;  // lowest first
  do {
    groups.push_back(value & 0x7F);
    value >>= 7;
  } while (value != 0);
  std::vector<uint8_t> encoded;
  for (size_t i = groups.size(); i-- > 0;) encoded.push_back(groups[i] | (i > 0 ? 0x80 : 0));
  return encoded;
}

// The track chunk's length field, big-endian after "MThd", its header and
// "MTrk".
inline uint32_t TrackLengthField(const std::vector<uint8_t>& file) {
  return uint32_t{file[18]} << 24 | uint32_t{file[19]} << 16 |
         uint32_t{file[20]} << 8 | file[21];
}

// `textBytes` are the text in the multibyte encoding; each is one note.
inline std::vector<uint8_t> ExpectedMIDIFile(const std::vector<uint8_t>& textBytes,
                                             uint32_t noteTicks) {
  const std::vector<uint8_t> delta = VariableLength(noteTicks);
  const auto trackLength = uint32_t(30 + textBytes.size() * (7 + delta.size()));
  std::vector<uint8_t> file = {
      'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96, 'M', 'T', 'r', 'k',
      uint8_t(trackLength >> 24), uint8_t(trackLength >> 16),
      uint8_t(trackLength >> 8), uint8_t(trackLength),
      0, 0xFF, 3, 7, 't', 'r', 'a', 'c', 'k', ' ', '1',
      0, 0xFF, 0x58, 4, 4, 2, 36, 8,
      0, 0xFF, 0x51, 3, 0x3D, 0x09, 0x00};
  for (const uint8_t byte : textBytes) {
    const uint8_t note = byte & 0x7F;
    file.insert(file.end(), {0, 0x90, note, 0x7F});
    file.insert(file.end(), delta.begin(), delta.end());
    file.insert(file.end(), {0x80, note, 0});
  }
  file.insert(file.end(), {0, 0xFF, 0x2F, 0});
  return file;
}

}  // namespace quorbel::test
