#include "Summary.h"

#include <cstdio>

namespace quorbel::cli {
namespace {

constexpr uint64_t kTicksPerSecond = 24;  // as the usage and man page say

// Whole seconds as they are; anything else to the millisecond.
std::string FormatSeconds(uint64_t ticks) {
  if (ticks % kTicksPerSecond == 0) return std::to_string(ticks / kTicksPerSecond);
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", double(ticks) / kTicksPerSecond);
  std::string formatted = text;
  formatted.erase(formatted.find_last_not_of('0') + 1);
  if (formatted.back() == '.') formatted.pop_back();
  return formatted;
}

}  // namespace

bool PrintSummary(std::ostream& out, const Summary& summary) {
  out << summary.name << ": " << summary.notes << (summary.notes == 1 ? " note, " : " notes, ")
      << FormatSeconds(summary.notes * summary.noteTicks) << " s";
  if (summary.fileSize) out << ", " << *summary.fileSize << " bytes";
  out << std::endl;
  return bool(out);
}

}  // namespace quorbel::cli
