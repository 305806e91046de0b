#include <windows.h>

#include <cerrno>

#include "ErrorReport.h"
#include "Win32Errors.h"

namespace quorbel {

void BeginErrorReport() { ::SetLastError(ERROR_SUCCESS); }

void ReportError(int errnoValue) {
  errno = errnoValue;
  if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(Win32ForErrno(errnoValue));
}

}  // namespace quorbel
