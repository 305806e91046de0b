// A text written to a real file, against the least any writer of the same
// bytes must pay. The safe floor keeps every promise WriteMIDI makes when
// it replaces a file, in the fewest system calls (SafeFloor.c): WriteMIDI
// over it is what the library costs beyond what it promises. Beside it, the
// price of the promises: the plain floor (one open, one write, one close,
// which truncates the old file first) and the rename floor (the same to a
// named temporary renamed over the path). Two sizes: a short text (1999
// characters, one write) and a long one (10^6 characters, 8 MB).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "BenchText.h"
#include "SafeFloor.h"
#include "ScratchFile.h"
#include "quorbel/quorbel.h"

namespace {

using quorbel::bench::ScratchFile;

constexpr int32_t kNoteTicks = 48;  // below 128: a one-byte delta time

size_t TextChars(const benchmark::State& state) { return size_t(state.range(0)); }
int64_t FileBytes(const benchmark::State& state) { return int64_t(52 + 8 * TextChars(state)); }

enum class Medium { kTmpfs, kDisk };

// /var/tmp rather than /tmp by default: some systems mount /tmp as tmpfs,
// and this measurement is about a disk-backed file system.
std::string DirectoryOf(Medium medium) {
  if (medium == Medium::kTmpfs) return "/dev/shm";
  const char* chosen = std::getenv("QUORBEL_BENCH_DISK_DIR");
  return chosen != nullptr && *chosen != '\0' ? chosen : "/var/tmp";
}

// Returns why `directory` cannot stand for `medium`, or an empty string: a
// "disk" figure taken on tmpfs would silently repeat the tmpfs one.
std::string MediumMismatch(Medium medium, const std::string& directory) {
  const std::optional<bool> onTmpfs = quorbel::bench::IsOnTmpfs(directory);
  if (!onTmpfs) return "cannot query the file system of " + directory;
  if (medium == Medium::kTmpfs && !*onTmpfs) return directory + " is not tmpfs";
  if (medium == Medium::kDisk && *onTmpfs) {
    return directory + " is tmpfs; set QUORBEL_BENCH_DISK_DIR to a disk";
  }
  return {};
}

// Returns the scratch file to write, or nullptr after reporting the error.
std::unique_ptr<ScratchFile> PrepareScratchFile(benchmark::State& state,
                                                Medium medium) {
  const std::string directory = DirectoryOf(medium);
  if (const std::string error = MediumMismatch(medium, directory);
      !error.empty()) {
    state.SkipWithError(error.c_str());
    return nullptr;
  }
  auto file = std::make_unique<ScratchFile>(directory);
  if (!file->error().empty()) {
    state.SkipWithError(file->error().c_str());
    return nullptr;
  }
  state.SetLabel(directory);
  return file;
}

// The very bytes WriteMIDI produces, so that a floor and WriteMIDI differ
// only in the work of producing them. Empty, after reporting, on failure.
std::vector<uint8_t> BytesOfWriteMIDI(benchmark::State& state, const ScratchFile& file) {
  const auto text = quorbel::bench::MakeAsciiText(TextChars(state));
  if (WriteMIDI(text.c_str(), kNoteTicks, file.widePath()) != QUORBEL_OK) {
    state.SkipWithError("WriteMIDI failed");
    return {};
  }
  std::vector<uint8_t> bytes = quorbel::test::ReadFile(file.path());
  if (int64_t(bytes.size()) != FileBytes(state)) {
    state.SkipWithError("WriteMIDI did not write the expected number of bytes");
    return {};
  }
  return bytes;
}

// Writes the file over and over, `writeOnce` a time (which returns why it
// failed, or an empty string), and counts its bytes.
template <typename Write>
void WriteRepeatedly(benchmark::State& state, Write writeOnce) {
  for (auto _ : state) {
    if (const std::string failure = writeOnce(); !failure.empty()) {
      state.SkipWithError(failure.c_str());
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * FileBytes(state));
}

void WriteMIDIFile(benchmark::State& state, Medium medium) {
  const auto file = PrepareScratchFile(state, medium);
  if (file == nullptr) return;
  const auto text = quorbel::bench::MakeAsciiText(TextChars(state));
  WriteRepeatedly(state, [&] {
    const bool written = WriteMIDI(text.c_str(), kNoteTicks, file->widePath()) == QUORBEL_OK;
    return std::string(written ? "" : "WriteMIDI failed");
  });
}

// What a floor writes to: the scratch file, and WriteMIDI's bytes for it.
struct FloorTarget {
  std::unique_ptr<ScratchFile> file;
  std::vector<uint8_t> bytes;
};

// Null, after reporting, where the file or its bytes could not be had.
std::optional<FloorTarget> PrepareFloor(benchmark::State& state, Medium medium) {
  auto file = PrepareScratchFile(state, medium);
  if (file == nullptr) return std::nullopt;
  std::vector<uint8_t> bytes = BytesOfWriteMIDI(state, *file);
  if (bytes.empty()) return std::nullopt;
  return FloorTarget{std::move(file), std::move(bytes)};
}

// One open, one write and one close: whether all three succeeded.
bool WriteWhole(const char* path, int openFlags, const std::vector<uint8_t>& bytes) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | openFlags, 0666);
  if (fd < 0) return false;
  const bool written = ::write(fd, bytes.data(), bytes.size()) == ssize_t(bytes.size());
  return ::close(fd) == 0 && written;
}

void FloorFile(benchmark::State& state, Medium medium) {
  const auto target = PrepareFloor(state, medium);
  if (!target) return;
  const char* path = target->file->path().c_str();
  WriteRepeatedly(state, [&] {
    return std::string(WriteWhole(path, O_TRUNC, target->bytes) ? "" : "open, write or close failed");
  });
}

// The floor for a writer that never leaves a partial file: the same bytes
// to a new temporary file beside the path, renamed over it once closed.
void FloorRenameFile(benchmark::State& state, Medium medium) {
  const auto target = PrepareFloor(state, medium);
  if (!target) return;
  const std::string temporary = target->file->path() + ".tmp";
  const char* path = target->file->path().c_str();
  WriteRepeatedly(state, [&] {
    const bool written = WriteWhole(temporary.c_str(), O_EXCL, target->bytes) &&
                         ::rename(temporary.c_str(), path) == 0;
    return std::string(written ? "" : "open, write, close or rename failed");
  });
}

// The safe floor takes the directory and the name apart, as the library
// holds them. Returns 0, or the errno value of its failure.
int SafeFloorReplace(const FloorTarget& target) {
  const std::string& path = target.file->path();
  const size_t slash = path.rfind('/');
  return QuorbelSafeFloorReplace(path.substr(0, slash).c_str(), path.substr(slash + 1).c_str(),
                                 target.bytes.data(), target.bytes.size());
}

// The floor for a writer that makes WriteMIDI's promises: the directory
// held, the target checked, an unnamed temporary with the old mode, the old
// attributes listed, one write, and the temporary named and renamed over.
void FloorSafeFile(benchmark::State& state, Medium medium) {
  const auto target = PrepareFloor(state, medium);
  if (!target) return;
  WriteRepeatedly(state, [&] {
    const int error = SafeFloorReplace(*target);
    return error == 0 ? std::string() : "safe floor: " + std::string(std::strerror(error));
  });
}

// On a machine shared with other work, load shifts from one second to the
// next, and benchmarks run a second apart see different machines. Here the
// file is written by WriteMIDI and by the safe floor in turn, call by
// call, which goes first alternating, and each call is timed alone: the
// medians of those times meet the same load, and a call the scheduler
// interrupted falls outside them.
void PairedSafeFloor(benchmark::State& state, Medium medium) {
  const auto target = PrepareFloor(state, medium);
  if (!target) return;
  const auto text = quorbel::bench::MakeAsciiText(TextChars(state));
  std::vector<double> library, floor;
  const auto timed = [](auto call) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = call();
    const std::chrono::duration<double, std::micro> took = std::chrono::steady_clock::now() - start;
    return ok ? took.count() : -1.0;
  };
  const auto writeMIDI = [&] {
    return WriteMIDI(text.c_str(), kNoteTicks, target->file->widePath()) == QUORBEL_OK;
  };
  const auto safeFloor = [&] { return SafeFloorReplace(*target) == 0; };
  for (auto _ : state) {
    const bool libraryFirst = library.size() % 2 == 0;
    const double first = libraryFirst ? timed(writeMIDI) : timed(safeFloor);
    const double second = libraryFirst ? timed(safeFloor) : timed(writeMIDI);
    if (first < 0 || second < 0) {
      state.SkipWithError("WriteMIDI or the safe floor failed");
      return;
    }
    library.push_back(libraryFirst ? first : second);
    floor.push_back(libraryFirst ? second : first);
  }
  const auto median = [](std::vector<double>& times) {
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
  };
  const double libraryMedian = median(library);
  const double floorMedian = median(floor);
  state.counters["writemidi_us"] = libraryMedian;
  state.counters["safe_floor_us"] = floorMedian;
  state.counters["ratio"] = libraryMedian / floorMedian;
}

// Real time: on a disk, part of the cost is waiting for the kernel, which
// the process's CPU time does not see.
void TextSizesInRealTime(benchmark::internal::Benchmark* benchmark) {
  benchmark->Arg(1999)->Arg(1000000)->UseRealTime()->Unit(benchmark::kMicrosecond);
}

// Every benchmark on both media, named <function>/tmpfs and <function>/disk.
#define QUORBEL_ON_BOTH_MEDIA(function)                                     \
  BENCHMARK_CAPTURE(function, tmpfs, Medium::kTmpfs)->Apply(TextSizesInRealTime); \
  BENCHMARK_CAPTURE(function, disk, Medium::kDisk)->Apply(TextSizesInRealTime)

QUORBEL_ON_BOTH_MEDIA(WriteMIDIFile);
QUORBEL_ON_BOTH_MEDIA(FloorFile);
QUORBEL_ON_BOTH_MEDIA(FloorRenameFile);
QUORBEL_ON_BOTH_MEDIA(FloorSafeFile);
QUORBEL_ON_BOTH_MEDIA(PairedSafeFloor);

}  // namespace
