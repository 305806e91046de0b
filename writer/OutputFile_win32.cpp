#include <windows.h>

#include <cerrno>
#include <cwchar>

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

// Keeps the thread's last error, the one the failed call set, across the
// clean-up calls after it.
class LastErrorKept {
 public:
  LastErrorKept() : error_(::GetLastError()) {}
  ~LastErrorKept() { ::SetLastError(error_); }
  LastErrorKept(const LastErrorKept&) = delete;
  LastErrorKept& operator=(const LastErrorKept&) = delete;

 private:
  DWORD error_;
};

bool IsDirectory(const wchar_t* path) {
  const DWORD attributes = ::GetFileAttributesW(path);
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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


// The temporary is "<directory of path>\.quorbel-<random>.tmp", so that
// the final move stays within one volume and is a rename.
bool MakeTemporaryPath(const wchar_t* path, wchar_t* temporary, size_t capacity) {
  static LONG volatile calls = 0;
  const size_t length = std::wcslen(path);
  size_t directoryLength = length;
  while (directoryLength > 0 && path[directoryLength - 1] != L'\\' &&
         path[directoryLength - 1] != L'/' && path[directoryLength - 1] != L':') {
    --directoryLength;
  }
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  uint64_t value = (uint64_t(::GetCurrentProcessId()) << 40) ^
                   (uint64_t(::GetCurrentThreadId()) << 20) ^ uint64_t(now.QuadPart) ^
                   (uint64_t(::InterlockedIncrement(&calls)) * 0x9E3779B97F4A7C15u);
  value ^= value >> 29;
  value *= 0xBF58476D1CE4E5B9u;
  value ^= value >> 32;
  wchar_t name[40];
  std::swprintf(name, 40, L".quorbel-%016llx.tmp", static_cast<unsigned long long>(value));
  if (directoryLength + std::wcslen(name) + 1 > capacity) return false;
  std::wmemcpy(temporary, path, directoryLength);
  std::wcscpy(temporary + directoryLength, name);
  return true;
}

}  // namespace

int OutputFile::Open(const NativePathChar* path) {
  Discard();
  if (*path == L'\0') return ENOENT;
  // The full path, taken now: a change of working directory during the
  // call must not move the file, nor lose the temporary.
  const DWORD length = ::GetFullPathNameW(path, kMaxPath, fullPath_, nullptr);
  if (length == 0) return LastErrno();
  if (length >= kMaxPath) return ENAMETOOLONG;
  const DWORD attributes = ::GetFileAttributesW(fullPath_);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return EISDIR;
  }
  // A device has no file to replace: write it in place. The full path of
  // every device name (NUL, CON, COM1, ...) starts with \\.\.
  if (std::wcsncmp(fullPath_, L"\\\\.\\", 4) == 0) {
    const HANDLE handle = ::CreateFileW(fullPath_, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastErrno();
    handle_ = reinterpret_cast<intptr_t>(handle);
    inPlace_ = true;
    return 0;
  }
  for (int tries = 0; tries < 100; ++tries) {
    if (!MakeTemporaryPath(fullPath_, temporaryPath_, kMaxPath)) return ENAMETOOLONG;
    const HANDLE handle = ::CreateFileW(temporaryPath_, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<intptr_t>(handle);
      inPlace_ = false;
      return 0;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return ErrnoFor(error);
  }
  return EEXIST;
}

int OutputFile::Write(const uint8_t* bytes, size_t size) {
  return WriteAll(AsHandle(handle_), bytes, size, nullptr);
}

// A positioned write moves the file pointer of a synchronous handle, so
// the append position is put back afterwards. A device has no position to
// go back to: the bytes would only be appended.
int OutputFile::WriteAt(uint64_t offset, const uint8_t* bytes, size_t size) {
  const HANDLE handle = AsHandle(handle_);
  if (::GetFileType(handle) != FILE_TYPE_DISK) return ESPIPE;
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
  int error = ::CloseHandle(handle) ? 0 : LastErrno();
  if (!inPlace_) {
    if (error == 0 &&
        !::MoveFileExW(temporaryPath_, fullPath_, MOVEFILE_REPLACE_EXISTING)) {
      const DWORD moveError = ::GetLastError();
      error = moveError == ERROR_ACCESS_DENIED && IsDirectory(fullPath_) ? EISDIR : ErrnoFor(moveError);
      ::SetLastError(moveError);
    }
    if (error != 0) {
      const LastErrorKept kept;
      ::DeleteFileW(temporaryPath_);
    }
  }
  return error;
}

void OutputFile::Discard() {
  if (handle_ == -1) return;
  const LastErrorKept kept;
  ::CloseHandle(AsHandle(handle_));
  handle_ = -1;
  if (!inPlace_) ::DeleteFileW(temporaryPath_);
}

}  // namespace quorbel
