#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "quorbel/quorbel.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#elif defined(__ARM_NEON) && defined(__aarch64__)
#include <arm_neon.h>
#elif defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif

// The loops every long text goes through: over its ASCII stretches, the
// count before anything is written and the narrowing to bytes; over the
// rest, the search for its terminator. Each has a vector form for the
// processor (SSE2 on x86-64, NEON on 64-bit ARM, WebAssembly's 128-bit
// vectors; each there in every such processor, so nothing is chosen at run
// time) and the plain loop beside it for the rest, which the fuzzer holds
// them to. Defining QUORBEL_PLAIN_LOOPS takes the plain loops everywhere;
// CI tests them on s390x, which has no vector form here. Measured on 10^6
// ASCII characters, the vector count reaches the memory's own speed; wider
// vectors (AVX2) found nothing more to gain.

namespace quorbel {

constexpr QuorbelUTF16Unit kNonASCIIBits = 0xFF80;

// The number of units from `units` before the first that is 0 or not
// ASCII. Reads only whole aligned blocks of 16 bytes, and on x86-64 groups
// of four of them aligned to 64 bytes, which never reach a page the text
// does not: the reads past the terminator stay in the block or group that
// holds it.
#if (defined(__SSE2__) || (defined(__ARM_NEON) && defined(__aarch64__)) || \
     defined(__wasm_simd128__)) && \
    !defined(QUORBEL_PLAIN_LOOPS)
#define QUORBEL_NO_ADDRESS_CHECKS __attribute__((no_sanitize("address")))

// The units of an aligned block of eight before its first stop, a unit that
// is 0 or has any of `stopBits`: 8 if none.
QUORBEL_NO_ADDRESS_CHECKS inline size_t RunInBlock(const QuorbelUTF16Unit* block,
                                                   QuorbelUTF16Unit stopBits) {
#if defined(__SSE2__)
  const __m128i units = _mm_load_si128(reinterpret_cast<const __m128i*>(block));
  const __m128i zero = _mm_setzero_si128();
  const __m128i high = _mm_set1_epi16(static_cast<short>(stopBits));
  const int ascii = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(units, high), zero));
  const int ends = _mm_movemask_epi8(_mm_cmpeq_epi16(units, zero));
  const unsigned stops = static_cast<unsigned>((~ascii & 0xFFFF) | ends) | 0x10000;
  return static_cast<size_t>(__builtin_ctz(stops)) / 2;
#elif defined(__wasm_simd128__)
  const v128_t units = wasm_v128_load(block);
  const v128_t stops = wasm_v128_or(wasm_i16x8_eq(units, wasm_i16x8_splat(0)),
                                    wasm_i16x8_ne(wasm_v128_and(units, wasm_i16x8_splat(
                                                      static_cast<int16_t>(stopBits))),
                                                  wasm_i16x8_splat(0)));
  return static_cast<size_t>(__builtin_ctz(wasm_i16x8_bitmask(stops) | 0x100u));
#else
  const uint16x8_t units = vld1q_u16(reinterpret_cast<const uint16_t*>(block));
  const uint16x8_t stops =
      vorrq_u16(vceqzq_u16(units), vtstq_u16(units, vdupq_n_u16(stopBits)));
  const uint64_t bits = vget_lane_u64(vreinterpret_u64_u8(vshrn_n_u16(stops, 4)), 0);
  return bits == 0 ? 8 : static_cast<size_t>(__builtin_ctzll(bits)) / 8;
#endif
}

// The stops among a group of four aligned blocks, a bit a unit (bit k for
// unit k). The units are narrowed to bytes with unsigned saturation, which
// leaves 1 to 0x7F as they are, makes 0 and every unit from 0x8000 zero,
// and every other unit 0x80 or more: a unit stops where its byte is zero
// or has its top bit. Measured on 10^6 units held in the cache, this
// doubles the speed of the block-at-a-time loop. Each bit depends only on
// its own unit, so what lies past the terminator never decides the result
// (which keeps valgrind's memcheck quiet, too).
#if defined(__SSE2__)
QUORBEL_NO_ADDRESS_CHECKS inline uint32_t GroupStops(const QuorbelUTF16Unit* group) {
  const __m128i* blocks = reinterpret_cast<const __m128i*>(group);
  const __m128i low = _mm_packus_epi16(_mm_load_si128(blocks), _mm_load_si128(blocks + 1));
  const __m128i high = _mm_packus_epi16(_mm_load_si128(blocks + 2), _mm_load_si128(blocks + 3));
  const __m128i zero = _mm_setzero_si128();
  const auto stops = [&](__m128i bytes) {
    return static_cast<uint32_t>(_mm_movemask_epi8(bytes) |
                                 _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, zero)));
  };
  return stops(low) | stops(high) << 16;
}
constexpr bool kHasGroups = true;
#elif defined(__wasm_simd128__)
inline uint32_t GroupStops(const QuorbelUTF16Unit* group) {
  const v128_t low = wasm_u8x16_narrow_i16x8(wasm_v128_load(group), wasm_v128_load(group + 8));
  const v128_t high = wasm_u8x16_narrow_i16x8(wasm_v128_load(group + 16), wasm_v128_load(group + 24));
  const auto stops = [](v128_t bytes) {
    return static_cast<uint32_t>(wasm_i8x16_bitmask(bytes) |
                                 wasm_i8x16_bitmask(wasm_i8x16_eq(bytes, wasm_i8x16_splat(0))));
  };
  return stops(low) | stops(high) << 16;
}
constexpr bool kHasGroups = true;
#else
inline uint32_t GroupStops(const QuorbelUTF16Unit*) { return 0; }
constexpr bool kHasGroups = false;
#endif
constexpr size_t kGroupUnits = 32;

QUORBEL_NO_ADDRESS_CHECKS inline size_t ASCIIRunLength(const QuorbelUTF16Unit* units) {
  size_t i = 0;
  // Units at an odd address never reach an aligned block: the plain loop
  // takes them all.
  const bool alignable = (reinterpret_cast<uintptr_t>(units) & 1) == 0;
  while (!alignable || (reinterpret_cast<uintptr_t>(units + i) & 15) != 0) {
    if (units[i] == 0 || (units[i] & kNonASCIIBits) != 0) return i;
    ++i;
  }
  for (;;) {
    if (kHasGroups && (reinterpret_cast<uintptr_t>(units + i) & (2 * kGroupUnits - 1)) == 0) {
      const uint32_t stops = GroupStops(units + i);
      if (stops != 0) return i + static_cast<size_t>(__builtin_ctz(stops));
      i += kGroupUnits;
      continue;
    }
    const size_t run = RunInBlock(units + i, kNonASCIIBits);
    if (run < 8) return i + run;
    i += 8;
  }
}

// The units from `units` before the first 0, or `limit` if none comes
// sooner: the end of a stretch of text that is not all ASCII. Its reads
// are ASCIIRunLength's.
QUORBEL_NO_ADDRESS_CHECKS inline size_t UnitsBeforeTerminator(const QuorbelUTF16Unit* units,
                                                              size_t limit) {
  size_t i = 0;
  const bool alignable = (reinterpret_cast<uintptr_t>(units) & 1) == 0;
  while (i < limit && (!alignable || (reinterpret_cast<uintptr_t>(units + i) & 15) != 0)) {
    if (units[i] == 0) return i;
    ++i;
  }
  for (; i < limit; i += 8) {
    const size_t run = RunInBlock(units + i, 0);
    if (run < 8) return i + run < limit ? i + run : limit;
  }
  return limit;
}
#else
inline size_t ASCIIRunLength(const QuorbelUTF16Unit* units) {
  size_t i = 0;
  while (units[i] != 0 && (units[i] & kNonASCIIBits) == 0) ++i;
  return i;
}

inline size_t UnitsBeforeTerminator(const QuorbelUTF16Unit* units, size_t limit) {
  size_t i = 0;
  while (i < limit && units[i] != 0) ++i;
  return i;
}
#endif

// Narrows 16 units to bytes if all of them are ASCII; returns false, and
// writes nothing, otherwise.
inline bool NarrowASCIIBlock(const QuorbelUTF16Unit* units, uint8_t* out) {
#if defined(__SSE2__) && !defined(QUORBEL_PLAIN_LOOPS)
  const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units));
  const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(units + 8));
  const __m128i bits = _mm_set1_epi16(static_cast<short>(kNonASCIIBits));
  if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(_mm_or_si128(low, high), bits),
                                        _mm_setzero_si128())) != 0xFFFF) {
    return false;
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(low, high));
  return true;
#elif defined(__wasm_simd128__) && !defined(QUORBEL_PLAIN_LOOPS)
  const v128_t low = wasm_v128_load(units);
  const v128_t high = wasm_v128_load(units + 8);
  if (wasm_v128_any_true(wasm_v128_and(wasm_v128_or(low, high),
                                       wasm_i16x8_splat(static_cast<int16_t>(kNonASCIIBits))))) {
    return false;
  }
  wasm_v128_store(out, wasm_u8x16_narrow_i16x8(low, high));
  return true;
#elif defined(__ARM_NEON) && defined(__aarch64__) && !defined(QUORBEL_PLAIN_LOOPS)
  const uint16x8_t low = vld1q_u16(reinterpret_cast<const uint16_t*>(units));
  const uint16x8_t high = vld1q_u16(reinterpret_cast<const uint16_t*>(units + 8));
  if (vmaxvq_u16(vorrq_u16(low, high)) >= 0x80) return false;
  vst1q_u8(out, vcombine_u8(vmovn_u16(low), vmovn_u16(high)));
  return true;
#else
  // Read as whole words, and copied to locals, so that the compiler sees
  // that the bytes written cannot change the units read. 0xFF80 in every
  // 16-bit lane catches a unit above 0x7F in either byte order.
  uint64_t words[4];
  std::memcpy(words, units, sizeof words);
  if (((words[0] | words[1] | words[2] | words[3]) & 0xFF80FF80FF80FF80u) != 0) return false;
  QuorbelUTF16Unit block[16];
  std::memcpy(block, words, sizeof block);
  uint8_t narrow[16];
  for (size_t k = 0; k < 16; ++k) narrow[k] = static_cast<uint8_t>(block[k]);
  std::memcpy(out, narrow, sizeof narrow);
  return true;
#endif
}

}  // namespace quorbel
