#include <windows.h>

#include "FileSize.h"
#include "UTF8.h"

namespace quorbel::cli {

std::optional<uint64_t> RegularFileSize(const std::string& path) {
  UTF16String wide;
  size_t badOffset = 0;
  WIN32_FILE_ATTRIBUTE_DATA file;
  if (!UTF8ToUTF16(path, wide, badOffset) ||
      !::GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &file) ||
      (file.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) != 0) {
    return std::nullopt;
  }
  return uint64_t(file.nFileSizeHigh) << 32 | file.nFileSizeLow;
}

}  // namespace quorbel::cli
