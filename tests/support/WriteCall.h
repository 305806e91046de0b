#pragma once

// WriteMIDI called as a host calls it, with an ASCII path, its result and
// errno taken together.

#include <cerrno>
#include <cstdint>
#include <string>

#include "quorbel/quorbel.h"

namespace quorbel::test {

struct Result {
  int32_t value;
  int error;
};

inline std::u16string Widen(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

inline Result Write(const char16_t* notes, int32_t ticks, const std::string& path) {
  errno = 0;
  const int32_t value = WriteMIDI(notes, ticks, Widen(path).c_str());
  return {value, errno};
}

}  // namespace quorbel::test
