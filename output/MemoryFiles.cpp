#include "MemoryFiles.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quorbel {
namespace {

// A page holds a file or two at a time; a list is all it needs.
struct MemoryFile {
  MemoryFile* next;
  uint8_t* bytes;
  size_t size;
  char path[1];  // the rest of the allocation
};

MemoryFile* files = nullptr;

// The link that points at the file of `path`; where there is none, the null
// link at the end of the list, where it would go.
MemoryFile** LinkToFile(const char* path) {
  MemoryFile** link = &files;
  while (*link != nullptr && std::strcmp((*link)->path, path) != 0) link = &(*link)->next;
  return link;
}

}  // namespace

int StoreMemoryFile(const char* path, uint8_t* bytes, size_t size) {
  MemoryFile** link = LinkToFile(path);
  if (*link == nullptr) {
    const size_t pathSize = std::strlen(path) + 1;
    auto* file = static_cast<MemoryFile*>(std::malloc(sizeof(MemoryFile) + pathSize));
    if (file == nullptr) {
      std::free(bytes);
      return ENOMEM;
    }
    std::memcpy(file->path, path, pathSize);
    file->next = nullptr;
    file->bytes = nullptr;
    *link = file;
  }
  std::free((*link)->bytes);
  (*link)->bytes = bytes;
  (*link)->size = size;
  return 0;
}

bool FindMemoryFile(const char* path, MemoryFileView& file) {
  const MemoryFile* found = *LinkToFile(path);
  if (found == nullptr) return false;
  file = {found->bytes, found->size};
  return true;
}

void RemoveMemoryFile(const char* path) {
  MemoryFile** link = LinkToFile(path);
  MemoryFile* const file = *link;
  if (file == nullptr) return;
  *link = file->next;
  std::free(file->bytes);
  std::free(file);
}

}  // namespace quorbel
