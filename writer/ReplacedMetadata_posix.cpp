#include "ReplacedMetadata_posix.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "QuorbelFeatures.h"

#if QUORBEL_HAVE_LINUX_XATTR
#include <sys/xattr.h>
#endif

namespace quorbel {
namespace {

#if QUORBEL_HAVE_LINUX_XATTR
bool OnlyPrivilegeMaySet(const char* attribute) {
  return std::strncmp(attribute, "security.", 9) == 0 ||
         std::strncmp(attribute, "trusted.", 8) == 0;
}

// Room for the names and one value. Most files have a few short attributes
// and fit the stack; the system's largest (64 KiB each) get a mapping of
// their own for the length of the copy, never heap memory.
class AttributeScratch {
 public:
  static constexpr size_t kLargest = 64 * 1024;
  AttributeScratch() = default;
  AttributeScratch(const AttributeScratch&) = delete;
  AttributeScratch& operator=(const AttributeScratch&) = delete;
  ~AttributeScratch() {
    if (mapped_ != nullptr) ::munmap(mapped_, 2 * kLargest);
  }
  char* names() { return mapped_ != nullptr ? mapped_ : names_; }
  size_t namesSize() const { return mapped_ != nullptr ? kLargest : sizeof names_; }
  char* value() { return mapped_ != nullptr ? mapped_ + kLargest : value_; }
  size_t valueSize() const { return mapped_ != nullptr ? kLargest : sizeof value_; }
  // Returns false where no memory could be had.
  bool Grow() {
    if (mapped_ != nullptr) return false;
    void* memory = ::mmap(nullptr, 2 * kLargest, PROT_READ | PROT_WRITE,
                          MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return false;
    mapped_ = static_cast<char*>(memory);
    return true;
  }

 private:
  char* mapped_ = nullptr;
  char names_[1024];
  char value_[2048];
};

// The replaced file's attributes, read through its name: by a path into
// /proc/self/fd where that is there (it needs no permission to read the
// file), and through a descriptor of the file otherwise.
class AttributeSource {
 public:
  AttributeSource(int directory, const char* name) {
    if (ProcessFileDescriptorsVisible()) {
      std::snprintf(path_, sizeof path_, "/proc/self/fd/%d/%s", directory, name);
    } else {
      fd_ = ::openat(directory, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    }
  }
  ~AttributeSource() {
    if (fd_ >= 0) ::close(fd_);
  }
  AttributeSource(const AttributeSource&) = delete;
  AttributeSource& operator=(const AttributeSource&) = delete;
  ssize_t List(char* names, size_t size) const {
    return fd_ >= 0 ? ::flistxattr(fd_, names, size) : ::llistxattr(path_, names, size);
  }
  ssize_t Get(const char* attribute, char* value, size_t size) const {
    return fd_ >= 0 ? ::fgetxattr(fd_, attribute, value, size)
                    : ::lgetxattr(path_, attribute, value, size);
  }

 private:
  int fd_ = -1;
  char path_[40 + NAME_MAX] = {};
};

// ENOTSUP, ENODATA and the like say that there is nothing to copy.
bool NothingThere(int error) {
  return error == ENOTSUP || error == ENODATA || error == ENOENT || error == EACCES;
}

// Returns 0 or errno; `copied` tells whether any attribute was set.
[[nodiscard]] int CopyAttributes(int fd, int directory, const char* name, bool& copied) {
  const AttributeSource source(directory, name);
  AttributeScratch scratch;
  ssize_t listed;
  while ((listed = source.List(scratch.names(), scratch.namesSize())) < 0) {
    if (errno != ERANGE || !scratch.Grow()) return NothingThere(errno) ? 0 : errno;
  }
  for (const char* attribute = scratch.names(); attribute < scratch.names() + listed;
       attribute += std::strlen(attribute) + 1) {
    ssize_t size;
    while ((size = source.Get(attribute, scratch.value(), scratch.valueSize())) < 0) {
      if (errno != ERANGE || !scratch.Grow()) break;
    }
    const bool optional = OnlyPrivilegeMaySet(attribute);
    if (size < 0) {
      if (errno == ENODATA || optional) continue;  // removed meanwhile, or not ours to read
      return errno;
    }
    if (::fsetxattr(fd, attribute, scratch.value(), static_cast<size_t>(size), 0) == 0) {
      copied = true;
    } else if (!optional) {
      return errno;
    }
  }
  return 0;
}
#endif

}  // namespace

bool ProcessFileDescriptorsVisible() {
  static std::atomic<int> visible{-1};
  int known = visible.load(std::memory_order_relaxed);
  if (known < 0) {
    known = ::access("/proc/self/fd", X_OK) == 0 ? 1 : 0;
    visible.store(known, std::memory_order_relaxed);
  }
  return known == 1;
}

// The owner first, since a change of owner clears the set-id bits; the
// attributes next, since an ACL sets the group bits to its mask; the mode
// last, which keeps the mask where the ACL put it.
int KeepReplacedMetadata(int fd, int directory, const char* name,
                         const ReplacedMetadata& replaced) {
  struct stat created;
  if (::fstat(fd, &created) != 0) return errno;
  // Only privilege gives a file away; anyone may pass it to a group of
  // theirs. What cannot be kept stays the caller's.
  uid_t owner = created.st_uid;
  gid_t group = created.st_gid;
  if (owner != replaced.owner || group != replaced.group) {
    if (::fchown(fd, replaced.owner, replaced.group) == 0) {
      owner = replaced.owner;
      group = replaced.group;
    } else if (group != replaced.group && ::fchown(fd, uid_t(-1), replaced.group) == 0) {
      group = replaced.group;
    }
  }
  const bool ownerKept = owner == replaced.owner && group == replaced.group;
  bool attributesCopied = false;
#if QUORBEL_HAVE_LINUX_XATTR
  if (const int error = CopyAttributes(fd, directory, name, attributesCopied)) return error;
#else
  (void)directory;
  (void)name;
#endif
  const mode_t mode = ownerKept ? replaced.mode : replaced.mode & ~mode_t(S_ISUID | S_ISGID);
  // An ACL set the group bits to its mask; the umask may have taken bits
  // away, and a change of owner the set-id bits.
  const bool modeMayDiffer = attributesCopied || (created.st_mode & 07777) != mode ||
                             !ownerKept || owner != created.st_uid || group != created.st_gid;
  if (modeMayDiffer && ::fchmod(fd, mode) != 0) {
    // Refused: the file keeps the bits it was created with, which the
    // umask can only have narrowed, so nobody gains access by it.
  }
  return 0;
}

}  // namespace quorbel
