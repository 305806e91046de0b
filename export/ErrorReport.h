#pragma once

namespace quorbel {

// Tells the caller of WriteMIDI why it returned 0: errno everywhere, and
// the thread's last-error value as well on Windows, where a host built
// with another C runtime does not see this library's errno.
void ReportError(int errnoValue);

}  // namespace quorbel
