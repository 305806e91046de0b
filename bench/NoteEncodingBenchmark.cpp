// How fast text becomes MIDI, with the file system out of the way: the
// output goes to /dev/null, so nearly all the time is the library's own.
// Lengths from 10^3 to 10^7 characters show whether the cost of a note
// stays the same however long the text is.

#include <benchmark/benchmark.h>

#include <cstdint>

#include "BenchText.h"
#include "quorbel/quorbel.h"

namespace {

constexpr int64_t kShortestText = 1'000;
constexpr int64_t kLongestText = 10'000'000;
constexpr int32_t kNoteTicks = 48;

// Built once, because each length's function runs several times. A shorter
// text is a tail of the longest one and shares its terminator.
const QuorbelUTF16Unit* TextOfLength(int64_t length) {
  static const auto longest = quorbel::bench::MakeAsciiText(kLongestText);
  return longest.c_str() + (longest.size() - static_cast<size_t>(length));
}

void EncodeToDevNull(benchmark::State& state) {
  const int64_t notes = state.range(0);  // ASCII: a note per character
  const QuorbelUTF16Unit* text = TextOfLength(notes);
  const auto devNull = quorbel::bench::WidenAsciiPath("/dev/null");
  for (auto _ : state) {
    if (WriteMIDI(text, kNoteTicks, devNull.c_str()) != QUORBEL_OK) {
      state.SkipWithError("WriteMIDI failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * notes);
  state.counters["time_per_note"] = benchmark::Counter(
      static_cast<double>(notes),
      benchmark::Counter::kIsIterationInvariantRate |
          benchmark::Counter::kInvert);
}

BENCHMARK(EncodeToDevNull)
    ->RangeMultiplier(10)
    ->Range(kShortestText, kLongestText)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
