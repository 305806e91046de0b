#pragma once

#include <sys/types.h>

namespace quorbel {

// What a replaced file had, for its replacement to keep.
struct ReplacedMetadata {
  uid_t owner;
  gid_t group;
  mode_t mode;  // permission bits, set-id and sticky bits included
};

// Gives the new file `fd` the owner, the extended attributes (a POSIX ACL
// among them) and the permission bits of `name` in `directory`, the file
// it is about to replace. Returns 0, or the errno value of an attribute
// that could not be copied or read: a file whose ACL or user attributes
// would be lost is not replaced. The new file's ACL is exactly the old
// one's: none where it had none, whatever the directory's default ACL gave
// the new file. Attributes that only privilege may set (security.*,
// trusted.*) are copied where the system allows and otherwise left. The
// set-id bits are kept only along with the owner.
[[nodiscard]] int KeepReplacedMetadata(int fd, int directory, const char* name,
                                       const ReplacedMetadata& replaced);

// Whether /proc/self/fd reaches this process's descriptors now. Asked
// afresh each time: a process may lose /proc (a new mount namespace, a
// chroot) at any moment.
bool ProcessFileDescriptorsVisible();

}  // namespace quorbel
