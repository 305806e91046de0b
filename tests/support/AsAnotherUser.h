#pragma once

// Runs `call` in a child process that is not root (nobody, 65534), since
// root writes anywhere, and returns the child's exit status: 3 when it
// could not give up root, -1 when it did not exit normally.

#include <sys/wait.h>
#include <unistd.h>

namespace quorbel::test {

// Runs `call` in a child process as it is, and returns its exit status as
// AsAnotherUser does: for what a test must not leave in its own process.
template <typename Call>
int InChildProcess(Call call) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(call());
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

template <typename Call>
int AsAnotherUser(Call call) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    ::_exit(call());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace quorbel::test
