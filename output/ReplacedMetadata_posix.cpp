#include "ReplacedMetadata_posix.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "QuorbelFeatures.h"
#include "SystemCalls_posix.h"

namespace quorbel {
namespace {

#if QUORBEL_HAVE_LINUX_XATTR
constexpr char kAccessACL[] = "system.posix_acl_access";

bool OnlyPrivilegeMaySet(const char* attribute) {
  return std::strncmp(attribute, "security.", 9) == 0 ||
         std::strncmp(attribute, "trusted.", 8) == 0;
}

// Room for a list of names or for one value. Most files have a few short
// attributes, which fit the stack; the system's largest (64 KiB) get a
// mapping of their own for the length of the copy, never heap memory.
template <size_t kOnStack>
class Scratch {
 public:
  static constexpr size_t kLargest = 64 * 1024;
  Scratch() = default;
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch() {
    if (data_ != stack_) ::munmap(data_, kLargest);
  }
  char* data() { return data_; }
  size_t size() const { return data_ != stack_ ? kLargest : kOnStack; }
  // Returns false where it is as large as it gets, or no memory was had.
  bool Grow() {
    if (data_ != stack_) return false;
    void* memory =
        ::mmap(nullptr, kLargest, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return false;
    data_ = static_cast<char*>(memory);
    return true;
  }

 private:
  char stack_[kOnStack];
  char* data_ = stack_;
};

// Whether this kernel lacks the attribute calls that take a directory and
// a name. A kernel does not change under a process, so this is kept.
std::atomic<bool> attributeCallsByNameMissing{false};

// The replaced file's attributes, read without following a link and
// without the permission to read the file itself where the system allows:
// through its directory and name (Linux 6.13), else through a path into
// /proc/self/fd, else through a descriptor of the file, opened for reading
// or, for a file the caller may only write, for writing.
class AttributeSource {
 public:
  AttributeSource(int directory, const char* name) : directory_(directory), name_(name) {}
  ~AttributeSource() {
    if (fd_ >= 0) systemCalls.close(fd_);
  }
  AttributeSource(const AttributeSource&) = delete;
  AttributeSource& operator=(const AttributeSource&) = delete;

  // Returns the size of the list of names, or -1 and errno.
  ssize_t List(char* names, size_t size) {
    if (road_ == Road::kUnchosen && !attributeCallsByNameMissing.load()) road_ = Road::kByName;
    if (road_ == Road::kByName) {
      const ssize_t listed =
          systemCalls.listxattrat(directory_, name_, AT_SYMLINK_NOFOLLOW, names, size);
      if (listed >= 0 || errno != ENOSYS) return listed;
      attributeCallsByNameMissing.store(true);
      road_ = Road::kUnchosen;
    }
    if (road_ == Road::kUnchosen) {
      if (const int error = ChooseOlderRoad()) {
        errno = error;
        return -1;
      }
    }
    return road_ == Road::kProcPath ? systemCalls.llistxattr(path_, names, size)
                                    : systemCalls.flistxattr(fd_, names, size);
  }
  // Returns the size of the value, or -1 and errno. After List only.
  ssize_t Get(const char* attribute, char* value, size_t size) const {
    switch (road_) {
      case Road::kByName:
        return systemCalls.getxattrat(directory_, name_, AT_SYMLINK_NOFOLLOW, attribute, value,
                                      size);
      case Road::kProcPath:
        return systemCalls.lgetxattr(path_, attribute, value, size);
      default:
        return systemCalls.fgetxattr(fd_, attribute, value, size);
    }
  }

 private:
  enum class Road { kUnchosen, kByName, kProcPath, kDescriptor };

  int ChooseOlderRoad() {
    if (ProcessFileDescriptorsVisible()) {
      std::snprintf(path_, sizeof path_, "/proc/self/fd/%d/%s", directory_, name_);
      road_ = Road::kProcPath;
      return 0;
    }
    constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    fd_ = systemCalls.openat(directory_, name_, O_RDONLY | kFlags, 0);
    if (fd_ < 0 && errno == EACCES) fd_ = systemCalls.openat(directory_, name_, O_WRONLY | kFlags, 0);
    if (fd_ < 0) return errno;
    road_ = Road::kDescriptor;
    return 0;
  }

  int directory_;
  const char* name_;
  Road road_ = Road::kUnchosen;
  int fd_ = -1;
  char path_[40 + NAME_MAX] = {};
};

// A file system without extended attributes has nothing to copy.
bool Unsupported(int error) { return error == ENOTSUP || error == EOPNOTSUPP; }

// Copies every attribute of `name` in `directory` to `fd`, and takes away
// an access ACL that the new file has from the directory's default ACL
// but the old file did not have. Returns 0 or errno; `changed` tells
// whether the new file's attributes changed, which an ACL's mask follows.
[[nodiscard]] int CopyAttributes(int fd, int directory, const char* name, bool& changed) {
  AttributeSource source(directory, name);
  Scratch<1024> names;
  Scratch<2048> value;
  ssize_t listed;
  while ((listed = source.List(names.data(), names.size())) < 0) {
    if (Unsupported(errno)) return 0;
    if (errno != ERANGE || !names.Grow()) return errno;
  }
  bool hadACL = false;
  for (const char* attribute = names.data(); attribute < names.data() + listed;
       attribute += std::strlen(attribute) + 1) {
    ssize_t size;
    while ((size = source.Get(attribute, value.data(), value.size())) < 0) {
      if (errno != ERANGE || !value.Grow()) break;
    }
    const bool optional = OnlyPrivilegeMaySet(attribute);
    if (size < 0) {
      if (errno == ENODATA || optional) continue;  // removed meanwhile, or not ours to read
      return errno;
    }
    hadACL = hadACL || std::strcmp(attribute, kAccessACL) == 0;
    if (systemCalls.fsetxattr(fd, attribute, value.data(), static_cast<size_t>(size), 0) == 0) {
      changed = true;
    } else if (!optional) {
      return errno;
    }
  }
  // Asked before it is removed: some file systems report the removal of an
  // ACL that is not there as done, which would cost a change of mode too.
  if (!hadACL) {
    if (systemCalls.fgetxattr(fd, kAccessACL, nullptr, 0) < 0) {
      return errno == ENODATA || Unsupported(errno) ? 0 : errno;
    }
    if (systemCalls.fremovexattr(fd, kAccessACL) != 0) return errno;
    changed = true;
  }
  return 0;
}
#endif

}  // namespace

bool ProcessFileDescriptorsVisible() { return systemCalls.access("/proc/self/fd", X_OK) == 0; }

// The owner first, since a change of owner clears the set-id bits; the
// attributes next, since an ACL sets the group bits to its mask; the mode
// last, which keeps the mask where the ACL put it.
int KeepReplacedMetadata(int fd, int directory, const char* name,
                         const ReplacedMetadata& replaced) {
  struct stat created;
  if (systemCalls.fstat(fd, &created) != 0) return errno;
  // Only privilege gives a file away; anyone may pass it to a group of
  // theirs. What cannot be kept stays the caller's.
  uid_t owner = created.st_uid;
  gid_t group = created.st_gid;
  if (owner != replaced.owner || group != replaced.group) {
    if (systemCalls.fchown(fd, replaced.owner, replaced.group) == 0) {
      owner = replaced.owner;
      group = replaced.group;
    } else if (group != replaced.group &&
               systemCalls.fchown(fd, uid_t(-1), replaced.group) == 0) {
      group = replaced.group;
    }
  }
  const bool ownerKept = owner == replaced.owner && group == replaced.group;
  bool attributesChanged = false;
#if QUORBEL_HAVE_LINUX_XATTR
  if (const int error = CopyAttributes(fd, directory, name, attributesChanged)) return error;
#else
  (void)directory;
  (void)name;
#endif
  const mode_t mode = ownerKept ? replaced.mode : replaced.mode & ~mode_t(S_ISUID | S_ISGID);
  // An ACL set the group bits to its mask; the umask may have taken bits
  // away, and a change of owner the set-id bits.
  const bool modeMayDiffer = attributesChanged || (created.st_mode & 07777) != mode ||
                             !ownerKept || owner != created.st_uid || group != created.st_gid;
  if (!modeMayDiffer || systemCalls.fchmod(fd, mode) == 0) return 0;
  // Some file systems refuse a change of mode (FUSE, no permissions kept):
  // the file may stay as it is only where that gives nobody more access.
  const int error = errno;
  struct stat now;
  if (systemCalls.fstat(fd, &now) != 0 || (now.st_mode & 07777 & ~mode) != 0) return error;
  return 0;
}

}  // namespace quorbel
