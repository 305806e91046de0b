// The WebAssembly module's work, done natively: this program is built from
// the same sources as the module, files kept in memory included, so WriteMIDI
// fills a block of memory where the native library would fill a file. Its
// figure is the native side of the web benchmark's comparison
// (bench/web/writeMIDI.mjs): the same code, the same text, the same bytes
// made, only the machine code differs. The file is removed after each call,
// as the web benchmark does, so the allocator hands the same warm block back.

#include <benchmark/benchmark.h>

#include "BenchText.h"
#include "MemoryFiles.h"
#include "quorbel/quorbel.h"

namespace {

constexpr int32_t kNoteTicks = 48;

void WriteToMemoryFile(benchmark::State& state) {
  const auto text = quorbel::bench::MakeAsciiText(static_cast<size_t>(state.range(0)));
  const auto path = quorbel::bench::WidenAsciiPath("bench.mid");
  for (auto _ : state) {
    if (WriteMIDI(text.c_str(), kNoteTicks, path.c_str()) != QUORBEL_OK) {
      state.SkipWithError("WriteMIDI failed");
      break;
    }
    quorbel::MemoryFileView file{};
    if (!quorbel::FindMemoryFile("bench.mid", file)) {
      state.SkipWithError("no file in memory");
      break;
    }
    benchmark::DoNotOptimize(file.bytes);
    quorbel::RemoveMemoryFile("bench.mid");
  }
}

BENCHMARK(WriteToMemoryFile)->Arg(1'000'000)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace
