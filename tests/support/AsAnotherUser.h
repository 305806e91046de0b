#pragma once

// Runs `call` in a child process that is not root (nobody, 65534), since
// root writes anywhere, and returns the child's exit status: 3 when it
// could not give up root, -1 when it did not exit normally.

#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

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

inline bool BecomeAnotherUser() {
  return ::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0);
}

template <typename Call>
int AsAnotherUser(Call call) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (!BecomeAnotherUser()) ::_exit(3);
    ::_exit(call());
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Runs `loop` as that user in a child that goes on beside the test until
// this object ends: then it is killed, so a loop need never return.
class AnotherUsersLoop {
 public:
  template <typename Loop>
  explicit AnotherUsersLoop(Loop loop) : child_(::fork()) {
    if (child_ == 0) {
      if (!BecomeAnotherUser()) ::_exit(3);
      loop();
      ::_exit(0);
    }
  }
  AnotherUsersLoop(const AnotherUsersLoop&) = delete;
  AnotherUsersLoop& operator=(const AnotherUsersLoop&) = delete;
  ~AnotherUsersLoop() {
    if (child_ <= 0) return;
    ::kill(child_, SIGKILL);
    ::waitpid(child_, nullptr, 0);
  }

  bool started() const { return child_ > 0; }

 private:
  pid_t child_;
};

}  // namespace quorbel::test
