#pragma once

namespace quorbel::cli {

// The tool itself, given its arguments as UTF-8 (main.cpp). Each platform's
// entry point calls it. Returns the exit status.
int RunTool(int argc, char** argv);

}  // namespace quorbel::cli
