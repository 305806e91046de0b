#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include "ToolPlatform.h"

namespace quorbel::cli {
namespace {

// A Win32 error as the C library's errno, for the tool's messages.
int ErrnoFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
      return ENOENT;
    case ERROR_ACCESS_DENIED:
      return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return ENOSPC;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
      return EPIPE;
    default:
      return EIO;
  }
}

std::string ToUTF8(const wchar_t* text) {
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(size > 0 ? size_t(size) : 1, '\0');
  if (size > 0) ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
  utf8.pop_back();  // the terminator
  return utf8;
}

bool FileIdentity(HANDLE handle, BY_HANDLE_FILE_INFORMATION& identity) {
  return handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK &&
         ::GetFileInformationByHandle(handle, &identity);
}

}  // namespace

// Windows has no signal for the file size limit.
void IgnoreFileSizeSignal() {}

int ReadStandardInput(std::string& text) {
  _setmode(_fileno(stdin), _O_BINARY);
  char piece[65536];
  size_t got;
  while ((got = std::fread(piece, 1, sizeof piece, stdin)) > 0) text.append(piece, got);
  return std::ferror(stdin) ? EIO : 0;
}

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

// The library converts the text to the ANSI code page: so does the count.
uint64_t NoteCount(const UTF16String& text) {
  if (text.empty()) return 0;
  const int size = ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0,
                                         nullptr, nullptr);
  return size > 0 ? uint64_t(size) : 0;
}

// A scratch file in the temporary folder, opened for delete-on-close once
// written, and copied to the standard output handle.
int WriteMIDIToStandardOutput(const QuorbelUTF16Unit* notes, int32_t noteTicks) {
  wchar_t folder[MAX_PATH + 1], scratch[MAX_PATH + 1];
  // A folder too long for the buffer comes back as the length it needs,
  // with nothing written: not a folder to make a file in.
  const DWORD folderLength = ::GetTempPathW(MAX_PATH + 1, folder);
  if (folderLength > MAX_PATH) return ENAMETOOLONG;
  if (folderLength == 0 || ::GetTempFileNameW(folder, L"qrb", 0, scratch) == 0) {
    return ErrnoFor(::GetLastError());
  }
  if (WriteMIDI(notes, noteTicks, scratch) != QUORBEL_OK) {
    const int error = errno;
    ::DeleteFileW(scratch);
    return error;
  }
  const HANDLE in = ::CreateFileW(scratch, GENERIC_READ, FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) {
    const int error = ErrnoFor(::GetLastError());
    ::DeleteFileW(scratch);
    return error;
  }
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  int error = 0;
  char piece[65536];
  for (DWORD got = 0; error == 0; ) {
    // A failed read is a failure too, not the end of the file.
    if (!::ReadFile(in, piece, sizeof piece, &got, nullptr)) {
      error = ErrnoFor(::GetLastError());
    } else if (got == 0) {
      break;
    }
    for (DWORD done = 0, written = 0; error == 0 && done < got; done += written) {
      if (!::WriteFile(out, piece + done, got - done, &written, nullptr)) {
        error = ErrnoFor(::GetLastError());
      }
    }
  }
  ::CloseHandle(in);
  return error;
}

}  // namespace quorbel::cli

// The arguments arrive as UTF-16; the tool reads them as UTF-8, and the
// text goes back to UTF-16 unchanged for WriteMIDI.
int wmain(int argc, wchar_t** wargv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(quorbel::cli::ToUTF8(wargv[i]));
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  return quorbel::cli::RunTool(argc, argv.data());
}
