#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace quorbel::cli {

// The size of the regular file that `path` names, as it is now; nothing for
// anything else (a pipe, a device), whose size says nothing of what was
// written to it.
std::optional<uint64_t> RegularFileSize(const std::string& path);

}  // namespace quorbel::cli
