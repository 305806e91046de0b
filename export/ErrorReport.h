#pragma once

namespace quorbel {

// How WriteMIDI tells its caller why it returned 0: errno everywhere, and on
// Windows the thread's last error as well, for hosts built with another C
// runtime, which do not see this library's errno.

// Called as a call begins, so that what a failure reports comes from it.
void BeginErrorReport();

// Sets errno. On Windows, the last error of the system call that failed
// stays as that call left it; a refusal of the library's own, where no
// system call failed, gets the Windows error that says the same.
void ReportError(int errnoValue);

}  // namespace quorbel
