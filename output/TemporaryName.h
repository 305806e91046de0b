#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace quorbel {

// ".quorbel-" + 16 hexadecimal digits + ".tmp", and its terminator.
constexpr size_t kTemporaryNameSize = 9 + 16 + 4 + 1;

// Writes a name that no other call, thread or process is likely to choose
// at the same moment into `name`; creating the file exclusively makes sure,
// and a clash only costs another try. `now` is the platform's fastest clock
// (each platform reads its own: the standard clocks pull start-up code into
// the Windows DLL). Works for char and wchar_t names.
template <typename Char>
void MakeTemporaryName(Char (&name)[kTemporaryNameSize], uint64_t now) {
  static std::atomic<uint64_t> calls{0};
  // The address of a local differs between processes (and threads) as
  // their stacks do, and costs no system call, unlike the process id.
  uint64_t value = uint64_t(reinterpret_cast<uintptr_t>(&name)) ^ now ^ (now << 29) ^
                   (calls.fetch_add(1, std::memory_order_relaxed) * 0x9E3779B97F4A7C15u);
  value ^= value >> 29;
  value *= 0xBF58476D1CE4E5B9u;
  value ^= value >> 32;
  static constexpr char kPrefix[] = ".quorbel-";
  static constexpr char kSuffix[] = ".tmp";
  static constexpr char kDigits[] = "0123456789abcdef";
  Char* out = name;
  for (const char* c = kPrefix; *c != '\0'; ++c) *out++ = static_cast<Char>(*c);
  for (int shift = 60; shift >= 0; shift -= 4) *out++ = static_cast<Char>(kDigits[(value >> shift) & 0xF]);
  for (const char* c = kSuffix; *c != '\0'; ++c) *out++ = static_cast<Char>(*c);
  *out = 0;
}

}  // namespace quorbel
