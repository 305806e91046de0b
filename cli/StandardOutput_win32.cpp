#include <windows.h>

#include <cerrno>

#include "StandardOutput.h"
#include "UTF8.h"
#include "Win32Errors.h"

namespace quorbel::cli {
namespace {

int LastErrno() { return ErrnoForWin32(::GetLastError()); }

bool FileIdentity(HANDLE handle, BY_HANDLE_FILE_INFORMATION& identity) {
  return handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK &&
         ::GetFileInformationByHandle(handle, &identity);
}

// A new file in the temporary folder. Returns 0, or the errno value of the
// failure.
int MakeScratchFile(wchar_t (&scratch)[MAX_PATH + 1]) {
  wchar_t folder[MAX_PATH + 1];
  // A folder too long for the buffer comes back as the length it needs,
  // with nothing written: not a folder to make a file in.
  const DWORD folderLength = ::GetTempPathW(MAX_PATH + 1, folder);
  if (folderLength > MAX_PATH) return ENAMETOOLONG;
  if (folderLength == 0 || ::GetTempFileNameW(folder, L"qrb", 0, scratch) == 0) {
    return LastErrno();
  }
  return 0;
}

int CopyToStandardOutput(HANDLE in, uint64_t& copied) {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  char piece[65536];
  for (DWORD got = 0;;) {
    // A failed read is a failure too, not the end of the file.
    if (!::ReadFile(in, piece, sizeof piece, &got, nullptr)) return LastErrno();
    if (got == 0) return 0;
    for (DWORD done = 0, written = 0; done < got; done += written) {
      if (!::WriteFile(out, piece + done, got - done, &written, nullptr)) return LastErrno();
    }
    copied += got;
  }
}

}  // namespace

bool IsStandardOutput(const std::string& path) {
  UTF16String wide;
  size_t badOffset = 0;
  if (!UTF8ToUTF16(path, wide, badOffset)) return false;
  const HANDLE file = ::CreateFileW(wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  BY_HANDLE_FILE_INFORMATION a{}, b{};
  const bool same = FileIdentity(file, a) && FileIdentity(::GetStdHandle(STD_OUTPUT_HANDLE), b) &&
                    a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
                    a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
  if (file != INVALID_HANDLE_VALUE) ::CloseHandle(file);
  return same;
}

// The scratch file is opened for delete-on-close once written.
int WriteMIDIToStandardOutput(const QuorbelUTF16Unit* notes, int32_t noteTicks,
                              uint64_t& copied) {
  wchar_t scratch[MAX_PATH + 1];
  if (const int error = MakeScratchFile(scratch)) return error;
  if (WriteMIDI(notes, noteTicks, scratch) != QUORBEL_OK) {
    const int error = errno;
    ::DeleteFileW(scratch);
    return error;
  }
  const HANDLE in = ::CreateFileW(scratch, GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) {
    const int error = LastErrno();
    ::DeleteFileW(scratch);
    return error;
  }
  const int error = CopyToStandardOutput(in, copied);
  ::CloseHandle(in);
  return error;
}

}  // namespace quorbel::cli
