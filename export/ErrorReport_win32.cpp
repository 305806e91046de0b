#include <windows.h>

#include <cerrno>

#include "ErrorReport.h"

namespace quorbel {
namespace {

DWORD Win32ErrorFor(int errnoValue) {
  switch (errnoValue) {
    case EINVAL: return ERROR_INVALID_PARAMETER;
    case EILSEQ: return ERROR_NO_UNICODE_TRANSLATION;
    case ENOENT: return ERROR_PATH_NOT_FOUND;
    case EACCES: return ERROR_ACCESS_DENIED;
    case EISDIR: return ERROR_DIRECTORY;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC: return ERROR_DISK_FULL;
    case EFBIG: return ERROR_FILE_TOO_LARGE;
    case EOVERFLOW: return ERROR_ARITHMETIC_OVERFLOW;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_WRITE_FAULT;
  }
}

}  // namespace

void BeginErrorReport() { ::SetLastError(ERROR_SUCCESS); }

void ReportError(int errnoValue) {
  errno = errnoValue;
  if (::GetLastError() == ERROR_SUCCESS) ::SetLastError(Win32ErrorFor(errnoValue));
}

}  // namespace quorbel
