#pragma once

#include <string>

namespace quorbel::cli {

// All of standard input, as bytes. Returns 0, or the errno value of a
// failed read.
[[nodiscard]] int ReadStandardInput(std::string& text);

}  // namespace quorbel::cli
