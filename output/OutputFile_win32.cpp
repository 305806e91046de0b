#include <windows.h>

#include <cerrno>
#include <cwchar>

#include "OutputFile.h"
#include "TemporaryName.h"
#include "Win32Errors.h"

namespace quorbel {
namespace {

HANDLE AsHandle(intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

int LastErrno() { return ErrnoForWin32(::GetLastError()); }

bool SetDeletePending(HANDLE handle, BOOL pending) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = pending;
  return ::SetFileInformationByHandle(handle, FileDispositionInfo, &disposition,
                                      sizeof disposition) != 0;
}

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

[[nodiscard]] int WriteAll(HANDLE handle, const uint8_t* bytes, size_t size) {
  while (size > 0) {
    const DWORD piece = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!::WriteFile(handle, bytes, piece, &written, nullptr)) return LastErrno();
    if (written == 0) return EIO;
    bytes += written;
    size -= written;
  }
  return 0;
}


// The temporary is "<directory of path>\.quorbel-<random>.tmp", so that
// the final move stays within one volume and is a rename.
bool MakeTemporaryPath(const wchar_t* path, wchar_t* temporary, size_t capacity) {
  const size_t length = std::wcslen(path);
  size_t directoryLength = length;
  while (directoryLength > 0 && path[directoryLength - 1] != L'\\' &&
         path[directoryLength - 1] != L'/' && path[directoryLength - 1] != L':') {
    --directoryLength;
  }
  wchar_t name[kTemporaryNameSize];
  LARGE_INTEGER now{};
  ::QueryPerformanceCounter(&now);
  MakeTemporaryName(name, uint64_t(now.QuadPart));
  if (directoryLength + kTemporaryNameSize > capacity) return false;
  std::wmemcpy(temporary, path, directoryLength);
  std::wcscpy(temporary + directoryLength, name);
  return true;
}

// ReplaceFileW keeps the replaced file's attributes and ACL. The old file
// goes to a backup name of our own, removed at once, since without one
// some implementations (Wine) leave a backup of their own behind.
bool ReplaceKeepingAttributes(const OutputFileState& state) {
  // Not every implementation carries the attributes over: they are set
  // on the replacement first (read-only files are refused before this).
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  if (state.replacedAttributes & kKept) {
    ::SetFileAttributesW(state.temporaryPath, state.replacedAttributes & kKept);
  }
  wchar_t backup[OutputFileState::kMaxPath + 32];
  if (!MakeTemporaryPath(state.fullPath, backup, OutputFileState::kMaxPath + 32)) {
    ::SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  if (!::ReplaceFileW(state.fullPath, state.temporaryPath, backup,
                      REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr)) {
    return false;
  }
  const LastErrorKept kept;
  ::DeleteFileW(backup);
  return true;
}

}  // namespace

int OutputFile::Open(const NativePathChar* path, uint64_t) {
  Discard();
  if (*path == L'\0') return ENOENT;
  // The full path, taken now: a change of working directory during the
  // call must not move the file, nor lose the temporary.
  const DWORD length = ::GetFullPathNameW(path, OutputFileState::kMaxPath, state_.fullPath, nullptr);
  if (length == 0) return LastErrno();
  if (length >= OutputFileState::kMaxPath) return ENAMETOOLONG;
  const DWORD attributes = ::GetFileAttributesW(state_.fullPath);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return EISDIR;
  }
  // A device has no file to replace: write it in place. The full path of
  // every device name (NUL, CON, COM1, ...) starts with \\.\.
  if (std::wcsncmp(state_.fullPath, L"\\\\.\\", 4) == 0) {
    const HANDLE handle = ::CreateFileW(state_.fullPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return LastErrno();
    state_.handle = reinterpret_cast<intptr_t>(handle);
    state_.inPlace = true;
    return 0;
  }
  for (int tries = 0; tries < 100; ++tries) {
    if (!MakeTemporaryPath(state_.fullPath, state_.temporaryPath, OutputFileState::kMaxPath)) return ENAMETOOLONG;
    const HANDLE handle = ::CreateFileW(state_.temporaryPath, GENERIC_WRITE | DELETE, 0, nullptr,
                                        CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      // Marked for deletion until it is complete: a process killed
      // meanwhile leaves nothing behind.
      state_.deletePending = SetDeletePending(handle, TRUE);
      state_.handle = reinterpret_cast<intptr_t>(handle);
      state_.inPlace = false;
      state_.replacing = attributes != INVALID_FILE_ATTRIBUTES;
      state_.replacedAttributes = state_.replacing ? attributes : 0;
      return 0;
    }
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return ErrnoForWin32(error);
  }
  return EEXIST;
}

int OutputFile::Write(const uint8_t* bytes, size_t size) {
  return WriteAll(AsHandle(state_.handle), bytes, size);
}

int OutputFile::Close() {
  if (state_.handle == -1) return EBADF;
  const HANDLE handle = AsHandle(state_.handle);
  state_.handle = -1;
  int error = 0;
  if (state_.deletePending && !SetDeletePending(handle, FALSE)) error = LastErrno();
  if (!::CloseHandle(handle) && error == 0) error = LastErrno();
  if (!state_.inPlace) {
    // An existing file is replaced, a new one moved into place. Either
    // way, a failure leaves the temporary under its own name and the path
    // as it was.
    const bool placed =
        error == 0 && (state_.replacing ? ReplaceKeepingAttributes(state_)
                                        : ::MoveFileExW(state_.temporaryPath, state_.fullPath,
                                                        MOVEFILE_REPLACE_EXISTING) != 0);
    if (error == 0 && !placed) {
      const DWORD moveError = ::GetLastError();
      error = moveError == ERROR_ACCESS_DENIED && IsDirectory(state_.fullPath) ? EISDIR : ErrnoForWin32(moveError);
      ::SetLastError(moveError);
    }
    if (error != 0) {
      const LastErrorKept kept;
      ::DeleteFileW(state_.temporaryPath);
    }
  }
  return error;
}

void OutputFile::Discard() {
  if (state_.handle == -1) return;
  const LastErrorKept kept;
  ::CloseHandle(AsHandle(state_.handle));
  state_.handle = -1;
  if (!state_.inPlace) ::DeleteFileW(state_.temporaryPath);
}

}  // namespace quorbel
