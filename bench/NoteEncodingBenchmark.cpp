// How fast text becomes MIDI, with the file system out of the way: the
// output goes to /dev/null, so nearly all the time is the library's own.
// Lengths from 10^3 to 10^7 characters show whether the cost of a note
// stays the same however long the text is. An empty text measures what a
// call costs before its first note (opening, checking and closing
// /dev/null, a dozen microseconds here), which the summary takes off each
// length's time to give the cost of the notes alone.

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

// Every length is timed in a process that has already written a long file,
// as in a program that writes one file after another, whatever order the
// lengths run in: from 64 KiB of file on, a call borrows the memory the
// library keeps for long files, and a file of 10^4 notes leaves in one
// write instead of five.
void WriteALongFileFirst(const QuorbelUTF16Unit* devNull) {
  static const bool written = WriteMIDI(TextOfLength(kLongestText), kNoteTicks, devNull) == QUORBEL_OK;
  (void)written;
}

void EncodeToDevNull(benchmark::State& state) {
  const int64_t notes = state.range(0);  // ASCII: a note per character
  const QuorbelUTF16Unit* text = TextOfLength(notes);
  const auto devNull = quorbel::bench::WidenAsciiPath("/dev/null");
  WriteALongFileFirst(devNull.c_str());
  for (auto _ : state) {
    if (WriteMIDI(text, kNoteTicks, devNull.c_str()) != QUORBEL_OK) {
      state.SkipWithError("WriteMIDI failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * notes);
  if (notes == 0) return;
  state.counters["time_per_note"] = benchmark::Counter(
      static_cast<double>(notes),
      benchmark::Counter::kIsIterationInvariantRate |
          benchmark::Counter::kInvert);
}

BENCHMARK(EncodeToDevNull)
    ->RangeMultiplier(10)
    ->Range(kShortestText, kLongestText)
    ->Arg(0)
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace
