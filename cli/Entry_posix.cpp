#include <csignal>

#include "Tool.h"

int main(int argc, char** argv) {
  // Past the file size limit a write fails with EFBIG and the call cleans
  // up after itself; the signal's default action would kill the tool first.
  std::signal(SIGXFSZ, SIG_IGN);
  return quorbel::cli::RunTool(argc, argv);
}
