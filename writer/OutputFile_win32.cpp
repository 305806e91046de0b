#include <windows.h>

#include <cerrno>

#include "OutputFile.h"

namespace quorbel {
namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

// The errno value that says the same as a Win32 error, so that callers see
// the same results on every platform.
int ErrnoFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_NAME:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
      return EACCES;
    case ERROR_DIRECTORY:
      return EISDIR;
    case ERROR_FILENAME_EXCED_RANGE:
      return ENAMETOOLONG;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_FILE_TOO_LARGE:
      return EFBIG;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return ENOMEM;
    default:
      return EIO;
  }
}

int LastErrno() { return ErrnoFor(::GetLastError()); }

bool IsDirectory(const wchar_t* path) {
  const DWORD attributes = ::GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Only a file on a disk is removed: a device named by the path is not ours.
bool IsDiskFile(HANDLE handle) {
  return ::GetFileType(handle) == FILE_TYPE_DISK;
}

int WriteAll(HANDLE handle, const uint8_t* bytes, size_t size,
             OVERLAPPED* at) {
  while (size > 0) {
    const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(handle, bytes, piece, &written, at)) return LastErrno();
    if (written == 0) return EIO;
    bytes += written;
    size -= written;
    if (at != nullptr) {
      const uint64_t next =
          (uint64_t{at->OffsetHigh} << 32 | at->Offset) + written;
      at->Offset = static_cast<DWORD>(next);
      at->OffsetHigh = static_cast<DWORD>(next >> 32);
    }
  }
  return 0;
}

}  // namespace

int OutputFile::Open(const NativePathChar* path) {
  Discard();
  const HANDLE handle =
      ::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    // Windows refuses a directory as "access denied"; say what it is.
    if (error == ERROR_ACCESS_DENIED && IsDirectory(path)) return EISDIR;
    return ErrnoFor(error);
  }
  path_ = path;
  handle_ = reinterpret_cast<intptr_t>(handle);
  return 0;
}

int OutputFile::Write(const uint8_t* bytes, size_t size) {
  return WriteAll(AsHandle(handle_), bytes, size, nullptr);
}

// A positioned write moves the file pointer of a synchronous handle, so
// the append position is put back afterwards.
int OutputFile::WriteAt(uint64_t offset, const uint8_t* bytes, size_t size) {
  const HANDLE handle = AsHandle(handle_);
  LARGE_INTEGER appendPosition{}, start{};
  if (!::SetFilePointerEx(handle, start, &appendPosition, FILE_CURRENT)) {
    return LastErrno();
  }
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  const int error = WriteAll(handle, bytes, size, &at);
  if (!::SetFilePointerEx(handle, appendPosition, nullptr, FILE_BEGIN) &&
      error == 0) {
    return LastErrno();
  }
  return error;
}

int OutputFile::Close() {
  if (handle_ == -1) return EBADF;
  const HANDLE handle = AsHandle(handle_);
  handle_ = -1;
  const bool diskFile = IsDiskFile(handle);
  if (!::CloseHandle(handle)) {
    const int error = LastErrno();
    if (diskFile) ::DeleteFileW(path_);
    return error;
  }
  return 0;
}

void OutputFile::Discard() {
  if (handle_ == -1) return;
  const HANDLE handle = AsHandle(handle_);
  handle_ = -1;
  const bool diskFile = IsDiskFile(handle);
  ::CloseHandle(handle);
  if (diskFile) ::DeleteFileW(path_);
}

}  // namespace quorbel
