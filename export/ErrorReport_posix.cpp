#include <cerrno>

#include "ErrorReport.h"

namespace quorbel {

void ReportError(int errnoValue) { errno = errnoValue; }

}  // namespace quorbel
