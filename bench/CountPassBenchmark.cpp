// The count pass over a text, beside the fastest read of the same bytes the
// C library has: memchr for a byte the text never holds, which reads at
// whatever speed the memory holding the text gives. The count pass is
// within reach of that, or it is the thing to make faster.

#include <benchmark/benchmark.h>

#include <cstring>

#include "BenchText.h"
#include "TextTrack.h"

namespace {

using quorbel::bench::UTF16String;

// One unit in ten an é, which the system's conversion counts.
UTF16String MixedText(size_t length) {
  UTF16String text = quorbel::bench::MakeAsciiText(length);
  for (size_t i = 5; i < length; i += 10) text[i] = u'\u00e9';
  return text;
}

void CountPass(benchmark::State& state, bool mixed) {
  const size_t length = static_cast<size_t>(state.range(0));
  const UTF16String text = mixed ? MixedText(length) : quorbel::bench::MakeAsciiText(length);
  for (auto _ : state) benchmark::DoNotOptimize(quorbel::MeasureText(text.c_str()));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * length * sizeof text[0]));
}

void ReadAtMemorySpeed(benchmark::State& state) {
  const size_t length = static_cast<size_t>(state.range(0));
  const UTF16String text = quorbel::bench::MakeAsciiText(length);
  const size_t bytes = length * sizeof text[0];
  for (auto _ : state) benchmark::DoNotOptimize(std::memchr(text.data(), 0xFF, bytes));
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
}

BENCHMARK_CAPTURE(CountPass, ascii, false)->Arg(1'000'000)->Arg(32'000'000)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(CountPass, tenth_e_acute, true)->Arg(1'000'000)->Unit(benchmark::kMicrosecond);
BENCHMARK(ReadAtMemorySpeed)->Arg(1'000'000)->Arg(32'000'000)->Unit(benchmark::kMicrosecond);

}  // namespace
