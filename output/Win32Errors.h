#pragma once

#include <windows.h>

#include <cerrno>

namespace quorbel {

// The one table between Win32 errors and errno values, read both ways: a
// failed system call's error becomes the errno callers see on every
// platform, and a refusal of the library's own gets the Win32 error that
// says the same. The first row for an errno value is its Win32 error.
struct Win32Error {
  DWORD win32;
  int errnoValue;
};

inline constexpr Win32Error kWin32Errors[] = {
    {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_FILE_NOT_FOUND, ENOENT},
    {ERROR_INVALID_DRIVE, ENOENT},
    {ERROR_BAD_NETPATH, ENOENT},
    {ERROR_BAD_PATHNAME, ENOENT},
    {ERROR_INVALID_NAME, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},
    {ERROR_SHARING_VIOLATION, EACCES},
    {ERROR_LOCK_VIOLATION, EACCES},
    {ERROR_WRITE_PROTECT, EACCES},
    {ERROR_DIRECTORY, EISDIR},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC},
    {ERROR_FILE_TOO_LARGE, EFBIG},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_OUTOFMEMORY, ENOMEM},
    {ERROR_INVALID_PARAMETER, EINVAL},
    {ERROR_NO_UNICODE_TRANSLATION, EILSEQ},
    {ERROR_ARITHMETIC_OVERFLOW, EOVERFLOW},
    {ERROR_BROKEN_PIPE, EPIPE},
    {ERROR_NO_DATA, EPIPE},  // the pipe is being closed
};

// Anything the table does not know is an input/output error.
inline int ErrnoForWin32(DWORD error) {
  for (const Win32Error& row : kWin32Errors) {
    if (row.win32 == error) return row.errnoValue;
  }
  return EIO;
}

inline DWORD Win32ForErrno(int errnoValue) {
  for (const Win32Error& row : kWin32Errors) {
    if (row.errnoValue == errnoValue) return row.win32;
  }
  return ERROR_WRITE_FAULT;
}

}  // namespace quorbel
