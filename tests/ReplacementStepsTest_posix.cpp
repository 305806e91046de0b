// The output file's replacement step by step, through its table of system
// calls: a test puts a fake in the way of one step and checks what the file
// promises then. A fake is a plain function; what it needs lives in this
// file's statics. Fakes that leave a process-wide fact behind (a kernel
// without a call) run in a child process.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "AsAnotherUser.h"
#include "OutputFile.h"
#include "SystemCallSeam.h"
#include "SystemCalls_posix.h"
#include "TempDirectory.h"

#if QUORBEL_HAVE_LINUX_XATTR
#include <sys/xattr.h>
#endif

namespace quorbel::test {
namespace {

const SystemCalls& real = RealSystemCalls();

struct OpenCall {
  std::string name;
  int flags;
};
std::vector<OpenCall> opens;
int failuresLeft;  // how many more calls a fake fails

bool IsTemporary(const char* name) { return std::strncmp(name, ".quorbel-", 9) == 0; }
#ifdef O_TMPFILE
bool IsUnnamed(int flags) { return (flags & O_TMPFILE) == O_TMPFILE; }
#else
bool IsUnnamed(int) { return false; }
#endif

class ReplacementSteps : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir.path().empty());
    opens.clear();
    failuresLeft = 0;
  }
  void TearDown() override { RestoreSystemCalls(); }

  // Returns the error of Open, Write or Close, or 0.
  int Replace(const std::string& name, const std::string& text) {
    OutputFile file;
    const std::string path = dir / name;
    if (const int error = file.Open(path.c_str(), text.size())) return error;
    if (const int error = file.Write(reinterpret_cast<const uint8_t*>(text.data()), text.size())) {
      return error;
    }
    return file.Close();
  }
  std::string Read(const std::string& name) const {
    const std::vector<uint8_t> bytes = ReadFile(dir / name);
    return std::string(bytes.begin(), bytes.end());
  }
  bool NoTemporaryLeft() const {
    for (const std::string& name : dir.Entries()) {
      if (IsTemporary(name.c_str())) return false;
    }
    return true;
  }
  ino_t Inode(const std::string& name) const {
    struct stat status {};
    ::lstat((dir / name).c_str(), &status);
    return status.st_ino;
  }

  TempDirectory dir;
};

// Every open is closed on exec; the named temporary, the fallback of a file
// system without unnamed files, is created exclusively.
TEST_F(ReplacementSteps, WithoutUnnamedFilesANamedTemporaryServesExclusively) {
  WriteFile(dir / "out.mid", "old");
  systemCalls.openat = [](int directory, const char* name, int flags, mode_t mode) {
    opens.push_back({name, flags});
    if (IsUnnamed(flags)) return errno = EOPNOTSUPP, -1;
    return real.openat(directory, name, flags, mode);
  };
  ASSERT_EQ(Replace("out.mid", "new"), 0);
  EXPECT_EQ(Read("out.mid"), "new");
  EXPECT_TRUE(NoTemporaryLeft());
  bool named = false;
  for (const OpenCall& call : opens) {
    EXPECT_TRUE(call.flags & O_CLOEXEC) << call.name;
    if (IsTemporary(call.name.c_str())) {
      named = true;
      EXPECT_EQ(call.flags & (O_CREAT | O_EXCL), O_CREAT | O_EXCL);
    }
  }
  EXPECT_TRUE(named);
}

// A directory that refuses a temporary: the file is written where it is,
// opened without following a link put there meanwhile, and only once it is
// sure the whole file fits.
TEST_F(ReplacementSteps, AFileWrittenInPlaceIsOpenedAsItIsAndRefusedUpFrontWhenItCannotFit) {
  WriteFile(dir / "out.mid", "old bytes");
  const ino_t inode = Inode("out.mid");
  systemCalls.openat = [](int directory, const char* name, int flags, mode_t mode) {
    opens.push_back({name, flags});
    if (IsUnnamed(flags) || IsTemporary(name)) return errno = EACCES, -1;
    return real.openat(directory, name, flags, mode);
  };
  ASSERT_EQ(Replace("out.mid", "new"), 0);
  EXPECT_EQ(Read("out.mid"), "new");
  EXPECT_EQ(Inode("out.mid"), inode);
  ASSERT_FALSE(opens.empty());
  EXPECT_EQ(opens.back().name, "out.mid");
  EXPECT_EQ(opens.back().flags & (O_NOFOLLOW | O_CREAT | O_TRUNC), O_NOFOLLOW);

  systemCalls.getrlimit = [](int, struct rlimit* limit) {
    limit->rlim_cur = limit->rlim_max = 5;
    return 0;
  };
  EXPECT_EQ(Replace("out.mid", "longer than five"), EFBIG);
  EXPECT_EQ(Read("out.mid"), "new");
  systemCalls.getrlimit = real.getrlimit;

#if QUORBEL_HAVE_FALLOCATE
  systemCalls.fallocate = [](int, int, off_t, off_t) { return errno = EOPNOTSUPP, -1; };
#endif
  systemCalls.fstatvfs = [](int fd, struct statvfs* status) {
    const int result = real.fstatvfs(fd, status);
    status->f_bfree = status->f_bavail = 0;
    return result;
  };
  EXPECT_EQ(Replace("out.mid", std::string(100000, 'x')), ENOSPC);
  EXPECT_EQ(Read("out.mid"), "new");
}

TEST_F(ReplacementSteps, AShortWriteIsContinuedNotRepeated) {
  systemCalls.write = [](int fd, const void* bytes, size_t size) {
    return real.write(fd, bytes, size < 100 ? size : 100);
  };
  std::string text;
  for (int i = 0; i < 1000; ++i) text += char('a' + i % 26);
  ASSERT_EQ(Replace("out.mid", text), 0);
  EXPECT_EQ(Read("out.mid"), text);
}

#if QUORBEL_HAVE_O_TMPFILE
// Another writer makes the new name between the open and the naming: the
// file is renamed over it, as over any file; an append-only directory,
// which allows no rename, keeps the other's file and no temporary.
TEST_F(ReplacementSteps, ANameMadeMeanwhileIsReplacedExceptWhereNoRenameIsAllowed) {
  const std::string path = dir / "out.mid";
  const auto otherWriter = [&] { WriteFile(path, "other"); };
  BeforeCall<&SystemCalls::linkat>(1, otherWriter);
  ASSERT_EQ(Replace("out.mid", "new"), 0);
  ASSERT_TRUE(CallReached());
  EXPECT_EQ(Read("out.mid"), "new");
  EXPECT_TRUE(NoTemporaryLeft());

  ::unlink(path.c_str());
  BeforeCall<&SystemCalls::linkat>(1, otherWriter);
  systemCalls.statx = [](int directory, const char* name, int flags, unsigned int mask,
                         struct statx* status) {
    const int result = real.statx(directory, name, flags, mask, status);
    if (*name == '\0') status->stx_attributes |= STATX_ATTR_APPEND;
    return result;
  };
  EXPECT_EQ(Replace("out.mid", "new"), EEXIST);
  EXPECT_EQ(Read("out.mid"), "other");
  EXPECT_TRUE(NoTemporaryLeft());
}

// A process that loses /proc (a sandbox entered after the first call)
// fails at most the call under way, leaves nothing, and goes on through a
// named temporary.
TEST_F(ReplacementSteps, AProcessThatLosesProcGoesOnWritingThroughANamedTemporary) {
  ASSERT_EQ(Replace("out.mid", "first"), 0);
  systemCalls.access = [](const char*, int) { return errno = ENOENT, -1; };
  systemCalls.linkat = [](int fromDirectory, const char* from, int toDirectory, const char* to,
                          int flags) {
    if ((flags & AT_EMPTY_PATH) || std::strncmp(from, "/proc/", 6) == 0) return errno = ENOENT, -1;
    return real.linkat(fromDirectory, from, toDirectory, to, flags);
  };
  if (Replace("out.mid", "second") != 0) {
    EXPECT_EQ(Read("out.mid"), "first");
  }
  EXPECT_TRUE(NoTemporaryLeft());
  ASSERT_EQ(Replace("out.mid", "third"), 0);
  EXPECT_EQ(Read("out.mid"), "third");
  EXPECT_TRUE(NoTemporaryLeft());
}
#endif

// The walk through a link is checked against the kernel's own lookup of
// the whole path: a disagreement is walked again, and one that never ends
// fails the call before anything is opened.
TEST_F(ReplacementSteps, AWalkTheKernelDoesNotConfirmIsRetriedThenRefused) {
  WriteFile(dir / "target.mid", "old");
  ASSERT_EQ(::symlink("target.mid", (dir / "link").c_str()), 0);
  systemCalls.stat = [](const char* path, struct stat* status) {
    const int result = real.stat(path, status);
    if (failuresLeft-- > 0) ++status->st_ino;
    return result;
  };
  failuresLeft = 1;
  ASSERT_EQ(Replace("link", "new"), 0);
  EXPECT_EQ(Read("target.mid"), "new");

  failuresLeft = 1000;
  EXPECT_EQ(Replace("link", "newer"), EAGAIN);
  EXPECT_EQ(Read("target.mid"), "new");
  EXPECT_TRUE(NoTemporaryLeft());
}

// As many links as the kernel follows in one lookup, and a name as long as
// a directory entry can be (85 three-byte characters), are written.
TEST_F(ReplacementSteps, TheLongestChainAndNameTheKernelTakesAreTaken) {
  WriteFile(dir / "0", "old");
  for (int i = 1; i <= 41; ++i) {
    ASSERT_EQ(::symlink(std::to_string(i - 1).c_str(), (dir / std::to_string(i)).c_str()), 0);
  }
  ASSERT_EQ(Replace("40", "new"), 0);
  EXPECT_EQ(Read("0"), "new");
  EXPECT_EQ(Replace("41", "new"), ELOOP);

  std::string name;
  for (int i = 0; i < 85; ++i) name += "\xE9\x9F\xB3";  // 音
  ASSERT_EQ(Replace(name, "new"), 0);
  EXPECT_EQ(Replace(name + "x", "new"), ENAMETOOLONG);
}

// The kernel follows a link in a sticky, world-writable directory only
// for the link's owner or the directory's: another user's link there must
// not lead root's write to a file of root's.
TEST_F(ReplacementSteps, AnotherUsersLinkInASharedDirectoryIsNotFollowed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to own a link as another user";
  ASSERT_EQ(::chmod(dir.path().c_str(), 01777), 0);
  WriteFile(dir / "secret", "root's");
  ASSERT_EQ(::symlink("secret", (dir / "theirs").c_str()), 0);
  ASSERT_EQ(::lchown((dir / "theirs").c_str(), 65534, 65534), 0);
  ASSERT_EQ(::symlink("secret", (dir / "mine").c_str()), 0);
  systemCalls.read = [](int fd, void* bytes, size_t size) {
    const ssize_t result = real.read(fd, bytes, size);
    if (result > 0) *static_cast<char*>(bytes) = '1';  // fs.protected_symlinks on
    return result;
  };
  // The kernel's own lookup, as it would be with the guard off, so that
  // only the walk can refuse.
  static std::string secret;
  secret = dir / "secret";
  systemCalls.stat = [](const char*, struct stat* status) { return real.stat(secret.c_str(), status); };
  EXPECT_EQ(Replace("theirs", "new"), EACCES);
  EXPECT_EQ(Read("secret"), "root's");
  EXPECT_EQ(Replace("mine", "new"), 0);
  EXPECT_EQ(Read("secret"), "new");
}

// Root may rename another's file in a sticky directory, so it replaces
// the file rather than writing it in place.
TEST_F(ReplacementSteps, RootReplacesAnotherUsersFileInAStickyDirectory) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root";
  ASSERT_EQ(::chmod(dir.path().c_str(), 01777), 0);
  ASSERT_EQ(::chown(dir.path().c_str(), 65534, 65534), 0);
  WriteFile(dir / "out.mid", "old");
  ASSERT_EQ(::chown((dir / "out.mid").c_str(), 65534, 65534), 0);
  const ino_t inode = Inode("out.mid");
  ASSERT_EQ(Replace("out.mid", "new"), 0);
  EXPECT_NE(Inode("out.mid"), inode);
}

TEST_F(ReplacementSteps, TheGroupIsKeptWhereTheOwnerCannotBe) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to give the old file away";
  WriteFile(dir / "out.mid", "old");
  ASSERT_EQ(::chown((dir / "out.mid").c_str(), 65534, 65534), 0);
  systemCalls.fchown = [](int fd, uid_t owner, gid_t group) {
    if (owner != uid_t(-1)) return errno = EPERM, -1;
    return real.fchown(fd, owner, group);
  };
  ASSERT_EQ(Replace("out.mid", "new"), 0);
  struct stat status {};
  ASSERT_EQ(::stat((dir / "out.mid").c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, 0u);
  EXPECT_EQ(status.st_gid, 65534u);
}

#if QUORBEL_HAVE_LINUX_XATTR
// A POSIX ACL as the kernel keeps it in system.posix_acl_*: a version, then
// (tag, permissions, id) entries, little-endian.
std::string ACL(std::initializer_list<std::array<uint32_t, 3>> entries) {
  std::string bytes{2, 0, 0, 0};
  for (const auto& [tag, permissions, id] : entries) {
    for (const auto& [value, size] : {std::pair{tag, 2}, {permissions, 2}, {id, 4}}) {
      for (int i = 0; i < size; ++i) bytes += char(value >> (8 * i));
    }
  }
  return bytes;
}
constexpr uint32_t kUserObject = 1, kUser = 2, kGroupObject = 4, kMask = 0x10, kOther = 0x20;
constexpr uint32_t kNoId = 0xFFFFFFFF;

std::string Attribute(const std::string& path, const char* name) {
  char value[65536];
  const ssize_t size = ::getxattr(path.c_str(), name, value, sizeof value);
  return size < 0 ? std::string("errno ") + std::to_string(errno) : std::string(value, size);
}

// The new file's ACL is the old file's exactly: all of it, even where an
// attribute larger than the stack's share comes first, and none where the
// old had none, whatever the directory's default ACL gives new files.
TEST_F(ReplacementSteps, TheOldFilesACLIsKeptExactly) {
  const std::string path = dir / "out.mid";
  WriteFile(path, "old");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const std::string large(2100, 'c');
  if (::setxattr(path.c_str(), "user.comment", large.data(), large.size(), 0) != 0) {
    GTEST_SKIP() << "no user attributes here: " << std::strerror(errno);
  }
  std::string acl = ACL({{kUserObject, 6, kNoId}});
  for (uint32_t user = 1000; user <= 1020; ++user) acl += ACL({{kUser, 4, user}}).substr(4);
  acl += ACL({{kUser, 0, 65534}, {kGroupObject, 4, kNoId}, {kMask, 4, kNoId}, {kOther, 0, kNoId}})
             .substr(4);
  if (::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) != 0) {
    GTEST_SKIP() << "no ACLs here: " << std::strerror(errno);
  }
  const std::string before = Attribute(path, "system.posix_acl_access");
  ASSERT_EQ(Replace("out.mid", "new"), 0);
  EXPECT_EQ(Attribute(path, "system.posix_acl_access"), before);
  EXPECT_EQ(Attribute(path, "user.comment"), large);

  const std::string fresh = dir / "fresh.mid";
  WriteFile(fresh, "old");
  ASSERT_EQ(::chmod(fresh.c_str(), 0640), 0);
  const std::string defaults = ACL({{kUserObject, 6, kNoId}, {kUser, 6, 65534},
                                    {kGroupObject, 4, kNoId}, {kMask, 6, kNoId}, {kOther, 0, kNoId}});
  ASSERT_EQ(::setxattr(dir.path().c_str(), "system.posix_acl_default", defaults.data(),
                       defaults.size(), 0), 0);
  ASSERT_EQ(Replace("fresh.mid", "new"), 0);
  EXPECT_EQ(Attribute(fresh, "system.posix_acl_access"), "errno " + std::to_string(ENODATA));
  struct stat status {};
  ASSERT_EQ(::stat(fresh.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// An attribute that cannot be copied fails the call: the old file stays,
// and nothing is left beside it.
TEST_F(ReplacementSteps, AnAttributeThatCannotBeCopiedFailsTheCall) {
  WriteFile(dir / "out.mid", "old");
  // The old file has one attribute, on whichever road this kernel reads it.
  static const auto list = [](char* names) {
    return std::memcpy(names, "user.note", 10), ssize_t(10);
  };
  static const auto get = [](void* value) {
    return *static_cast<char*>(value) = 'v', ssize_t(1);
  };
  systemCalls.listxattrat = [](int, const char*, unsigned, char* names, size_t) {
    return list(names);
  };
  systemCalls.llistxattr = [](const char*, char* names, size_t) { return list(names); };
  systemCalls.flistxattr = [](int, char* names, size_t) { return list(names); };
  systemCalls.getxattrat = [](int, const char*, unsigned, const char*, void* value, size_t) {
    return get(value);
  };
  systemCalls.lgetxattr = [](const char*, const char*, void* value, size_t) { return get(value); };
  systemCalls.fgetxattr = [](int, const char*, void* value, size_t) { return get(value); };
  FailCall<&SystemCalls::fsetxattr>(1, EIO);
  EXPECT_EQ(Replace("out.mid", "new"), EIO);
  EXPECT_EQ(Read("out.mid"), "old");
  EXPECT_TRUE(NoTemporaryLeft());
}

// Whichever way the old file's attributes are read (by directory and name,
// through /proc, or through a descriptor of the file on an older kernel
// without /proc), a file its owner may only write gives the same answer:
// its user attribute cannot be read, so the call fails and the file stays.
TEST_F(ReplacementSteps, EveryRoadToTheAttributesGivesTheSameAnswer) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to hand the file to another user";
  const std::string path = dir / "out.mid";
  WriteFile(path, "old");
  if (::setxattr(path.c_str(), "user.note", "v", 1, 0) != 0) GTEST_SKIP() << "no user attributes";
  ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  for (int road = 0; road < 3; ++road) {
    const int status = AsAnotherUser([&] {
      if (road > 0) systemCalls.listxattrat = [](int, const char*, unsigned, char*, size_t) {
        return errno = ENOSYS, ssize_t(-1);
      };
      if (road > 1) systemCalls.access = [](const char*, int) { return errno = ENOENT, -1; };
      return Replace("out.mid", "new");
    });
    EXPECT_EQ(status, EACCES) << "road " << road;
  }
  ASSERT_EQ(::chmod(path.c_str(), 0600), 0);
  EXPECT_EQ(Read("out.mid"), "old");
  EXPECT_EQ(Attribute(path, "user.note"), "v");

  // Without the attribute, the file is its owner's to replace, on the
  // slowest road too.
  ASSERT_EQ(::removexattr(path.c_str(), "user.note"), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0200), 0);
  EXPECT_EQ(AsAnotherUser([&] {
    systemCalls.listxattrat = [](int, const char*, unsigned, char*, size_t) {
      return errno = ENOSYS, ssize_t(-1);
    };
    systemCalls.access = [](const char*, int) { return errno = ENOENT, -1; };
    return Replace("out.mid", "new");
  }), 0);
}

// On a kernel without the calls by directory and name, the attributes come
// through /proc, or without it through a descriptor of the file.
TEST_F(ReplacementSteps, AnOlderKernelStillCopiesTheAttributes) {
  const std::string path = dir / "out.mid";
  WriteFile(path, "old");
  if (::setxattr(path.c_str(), "user.note", "v", 1, 0) != 0) GTEST_SKIP() << "no user attributes";
  for (const bool proc : {true, false}) {
    const int status = InChildProcess([&] {
      systemCalls.listxattrat = [](int, const char*, unsigned, char*, size_t) {
        return errno = ENOSYS, ssize_t(-1);
      };
      if (!proc) systemCalls.access = [](const char*, int) { return errno = ENOENT, -1; };
      return Replace("out.mid", proc ? "through /proc" : "through a descriptor");
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(Attribute(path, "user.note"), "v");
  }
  EXPECT_EQ(Read("out.mid"), "through a descriptor");
}
#endif

}  // namespace
}  // namespace quorbel::test
