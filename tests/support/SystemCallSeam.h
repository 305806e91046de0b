#pragma once

// One step of the output file made to fail, or made to wait for something
// else to happen first, through its table of system calls: the Nth call of
// one entry, counted from the arming, once.
//
//   FailCall<&SystemCalls::write>(20, EIO);   // the 20th write fails with EIO
//   BeforeCall<&SystemCalls::close>(1, hook); // hook runs, then the close
//
// One entry is armed at a time; arming another, or RestoreSystemCalls, lets
// go of the one before. A close counts only on a regular file, so that the
// directories held on the way are not taken for the file; a failed close
// still lets go of the descriptor, as a real one does; any other call that
// fails does nothing. A call that goes through goes to the real table, not
// to a fake put in the same entry before.

#include <sys/stat.h>

#include <cerrno>
#include <functional>
#include <type_traits>
#include <utility>

#include "SystemCalls_posix.h"

namespace quorbel::test {

namespace seam {

struct Armed {
  const void* entry = nullptr;  // the armed entry's tag, or none
  int countdown = 0;
  int error = 0;
  std::function<void()> hook;
  bool reached = false;
};
inline Armed armed;

template <auto entry>
struct Call;

template <typename R, typename... Args, R (*SystemCalls::*entry)(Args...)>
struct Call<entry> {
  static constexpr bool kIsClose = [] {
    if constexpr (std::is_same_v<decltype(entry), decltype(&SystemCalls::close)>) {
      return entry == &SystemCalls::close;
    } else {
      return false;
    }
  }();
  static inline const char tag = 0;

  static bool Counts(Args... args) {
    if constexpr (kIsClose) {
      struct stat status;
      return RealSystemCalls().fstat(args..., &status) == 0 && S_ISREG(status.st_mode);
    } else {
      return true;
    }
  }

  static R Faulty(Args... args) {
    auto* const real = RealSystemCalls().*entry;
    if (armed.entry != &tag || armed.countdown == 0 || !Counts(args...) ||
        --armed.countdown != 0) {
      return real(args...);
    }
    armed.reached = true;
    if (armed.hook) {
      armed.hook();
      return real(args...);
    }
    if constexpr (kIsClose) real(args...);
    errno = armed.error;
    return R(-1);
  }

  static void Arm(int nth, int error, std::function<void()> hook) {
    armed = {&tag, nth, error, std::move(hook), false};
    systemCalls.*entry = &Faulty;
  }
};

}  // namespace seam

template <auto entry>
void FailCall(int nth, int error) {
  seam::Call<entry>::Arm(nth, error, nullptr);
}

template <auto entry>
void BeforeCall(int nth, std::function<void()> hook) {
  seam::Call<entry>::Arm(nth, 0, std::move(hook));
}

// Whether the armed call was reached.
inline bool CallReached() { return seam::armed.reached; }

// The real table, and nothing armed.
inline void RestoreSystemCalls() {
  seam::armed = {};
  systemCalls = RealSystemCalls();
}

}  // namespace quorbel::test
