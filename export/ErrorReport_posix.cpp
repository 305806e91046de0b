#include <cerrno>

#include "ErrorReport.h"

namespace quorbel {

void BeginErrorReport() {}

void ReportError(int errnoValue) { errno = errnoValue; }

}  // namespace quorbel
