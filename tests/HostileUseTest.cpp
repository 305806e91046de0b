// The promise of all or nothing at its edges: killed calls, concurrent
// writers through links, links retargeted under failing calls, pipes,
// replaced files' attributes, and the directories that refuse a rename.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sched.h>
#include <linux/fs.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "AsAnotherUser.h"
#include "DocumentedExample.h"
#include "FileSizeLimit.h"
#include "ExpectedMIDIFile.h"
#include "QuorbelFeatures.h"
#include "TempDirectory.h"
#include "WriteCall.h"
#include "quorbel/quorbel.h"

namespace quorbel::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

const std::string kOld = "the old file";

// A whole file from WriteMIDI: its track length is its size less 22.
bool IsWholeFile(const Bytes& bytes) {
  if (bytes.size() < 52) return false;
  return TrackLengthField(bytes) + 22 == bytes.size() && bytes[bytes.size() - 2] == 0x2F;
}

std::string AsString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Starts `loop` in `count` children, before the test starts any thread of
// its own: a child forked beside a running thread inherits whatever lock
// that thread held (an allocator's, say) and can wait on it for ever.
template <typename Loop>
std::vector<pid_t> StartChildren(int count, Loop loop) {
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(loop(i));
    children.push_back(child);
  }
  return children;
}

// Waits for the children; returns how many did not exit with 0.
int FailedChildren(const std::vector<pid_t>& children) {
  int failed = 0;
  for (const pid_t child : children) {
    int status = 0;
    if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      ++failed;
    }
  }
  return failed;
}

// A kill while the file is written leaves nothing. Only a kill between the
// naming and the rename, two adjacent system calls, leaves a name behind,
// and that name holds the whole new file.
TEST(HostileUse, AKilledCallLeavesNoPartialStrayAndNoDamagedFile) {
  if (!QUORBEL_HAVE_O_TMPFILE) GTEST_SKIP() << "named temporaries: a kill can leave one";
  TempDirectory dir;
  const std::string file = dir / "song.mid";
  WriteFile(file, kOld);
  const std::u16string text(2'000'000, u'k');  // about 16 MB
  for (int kill = 0; kill < 12; ++kill) {
    const pid_t child = ::fork();
    if (child == 0) ::_exit(Write(text.c_str(), 48, file).value == QUORBEL_OK ? 0 : 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2 + 3 * kill));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    for (const std::string& name : dir.Entries()) {
      if (name == "song.mid") continue;
      EXPECT_TRUE(IsWholeFile(ReadFile(dir / name))) << name << ", kill " << kill;
      ::unlink((dir / name).c_str());
    }
    const Bytes bytes = ReadFile(file);
    EXPECT_TRUE(AsString(bytes) == kOld || IsWholeFile(bytes)) << "kill " << kill;
  }
}

TEST(HostileUse, WritersThroughALinkNeverTearTheFile) {
  TempDirectory dir;
  ASSERT_EQ(::symlink("A.mid", (dir / "L").c_str()), 0);
  const std::u16string text(20000, u'w');
  ASSERT_EQ(Write(text.c_str(), 48, dir / "L").value, QUORBEL_OK);
  const std::vector<pid_t> writers = StartChildren(3, [&](int) {
    for (int i = 0; i < 150; ++i) {
      if (Write(text.c_str(), 48, dir / "L").value != QUORBEL_OK) return 1;
    }
    return 0;
  });
  std::atomic<bool> writing{true};
  int reads = 0, torn = 0;
  std::thread reader([&] {
    while (writing) {
      ++reads;
      if (!IsWholeFile(ReadFile(dir / "A.mid"))) ++torn;
    }
  });
  const int failedWriters = FailedChildren(writers);
  writing = false;
  reader.join();
  EXPECT_EQ(failedWriters, 0);
  EXPECT_EQ(torn, 0) << "of " << reads << " reads";
  EXPECT_EQ(dir.Entries(), (Names{"A.mid", "L"}));
}

TEST(HostileUse, FailingCallsThroughARetargetedLinkTouchNoFile) {
  TempDirectory dir;
  WriteFile(dir / "A.mid", kOld);
  WriteFile(dir / "B.mid", kOld);
  ASSERT_EQ(::symlink("A.mid", (dir / "L").c_str()), 0);
  const pid_t flipper = ::fork();
  if (flipper == 0) {
    for (int i = 0;; ++i) {
      const std::string next = dir / ("L.next" + std::to_string(i % 2));
      if (::symlink(i % 2 ? "A.mid" : "B.mid", next.c_str()) == 0) {
        ::rename(next.c_str(), (dir / "L").c_str());
      }
    }
  }
  // Each call fails: at the file size limit, or, where the link kept
  // changing under the walk, with EAGAIN before any file is opened.
  const std::u16string text(50000, u'f');
  int unexpected = 0;
  {
    const FileSizeLimit limit(100 * 1024);
    ASSERT_TRUE(limit.applied());
    for (int call = 0; call < 200; ++call) {
      const Result result = Write(text.c_str(), 48, dir / "L");
      if (result.value != 0 || (result.error != EFBIG && result.error != EAGAIN)) ++unexpected;
    }
  }
  ::kill(flipper, SIGKILL);
  ::waitpid(flipper, nullptr, 0);
  EXPECT_EQ(unexpected, 0);
  EXPECT_EQ(AsString(ReadFile(dir / "A.mid")), kOld);
  EXPECT_EQ(AsString(ReadFile(dir / "B.mid")), kOld);
  for (const std::string& name : dir.Entries()) EXPECT_EQ(name.find(".quorbel"), std::string::npos);
}

// A value under /proc/sys for the length of a test: the old one is put
// back however the test ends. The value is the whole machine's, and other
// test processes may want it meanwhile (ctest -j, or CI's builds side by
// side): each holds a lock on its file while it has the value changed, or
// one would put the old value back while another still relied on the new.
class KernelSetting {
 public:
  KernelSetting(const std::string& path, const std::string& value)
      : path_(path), lock_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
    if (lock_ < 0 || ::flock(lock_, LOCK_EX) != 0) return;
    old_ = AsString(ReadFile(path));
    if (old_.empty()) return;
    std::ofstream(path) << value;
    set_ = AsString(ReadFile(path)) == value + "\n";
  }
  ~KernelSetting() {
    if (!old_.empty()) std::ofstream(path_) << old_;
    if (lock_ >= 0) ::close(lock_);
  }
  KernelSetting(const KernelSetting&) = delete;
  KernelSetting& operator=(const KernelSetting&) = delete;
  bool set() const { return set_; }

 private:
  std::string path_, old_;
  int lock_;
  bool set_ = false;
};

// The kernel follows no link in a sticky world-writable directory that
// neither the follower nor the directory owns (fs.protected_symlinks). The
// walk follows links itself, so it must refuse such a link too, and go on
// refusing while its owner swaps it with a plain file under the walk.
TEST(HostileUse, ALinkTheKernelProtectsAgainstNeverLeadsTheCall) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, for whom the protection matters";
  KernelSetting protect("/proc/sys/fs/protected_symlinks", "1");
  if (!protect.set()) GTEST_SKIP() << "cannot set fs.protected_symlinks";
  TempDirectory dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const std::string secret = dir / "secret";
  WriteFile(secret, kOld);
  ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
  struct stat before;
  ASSERT_EQ(::stat(secret.c_str(), &before), 0);
  // nobody swaps what own/s/x names, the link or a plain file of its own,
  // by swapping the directories that hold them: the sticky one (root's,
  // where the kernel protects the link) and one of its own. A walk that
  // holds a directory open then sees one thing at x throughout, and the
  // kernel's own lookup, made afresh, sees the other half the time.
  const std::string own = dir / "own", sticky = own + "/s", plain = own + "/t";
  ASSERT_EQ(::mkdir(own.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(sticky.c_str(), 01777), 0);
  ASSERT_EQ(::chmod(sticky.c_str(), 01777), 0);
  ASSERT_EQ(::mkdir(plain.c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "d").c_str(), 0755), 0);
  // The call's path and the link both go a long way round, so that swaps
  // fall inside the walk rather than between calls.
  std::string longWay = dir.path() + "/";
  while (longWay.size() < 1500) longWay += "d/../";
  ASSERT_EQ(::symlink((longWay + "secret").c_str(), (sticky + "/x").c_str()), 0);
  WriteFile(plain + "/x", kOld);
  for (const std::string& name : {own, plain, plain + "/x", sticky + "/x"}) {
    ASSERT_EQ(::lchown(name.c_str(), 65534, 65534), 0);
  }
  const std::string x = longWay + "own/s/x";
  // The swaps and the calls each on a processor of their own, where there
  // are two: sharing one, they would take turns and rarely overlap.
  cpu_set_t allowed;
  int processors[2] = {-1, -1};
  if (::sched_getaffinity(0, sizeof allowed, &allowed) == 0) {
    for (int cpu = 0, found = 0; cpu < CPU_SETSIZE && found < 2; ++cpu) {
      if (CPU_ISSET(cpu, &allowed)) processors[found++] = cpu;
    }
  }
  const auto runOn = [](int cpu) {
    if (cpu < 0) return;
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    ::sched_setaffinity(0, sizeof one, &one);
  };
  AnotherUsersLoop swapper([&] {
    runOn(processors[1]);
    for (;;) ::renameat2(AT_FDCWD, sticky.c_str(), AT_FDCWD, plain.c_str(), RENAME_EXCHANGE);
  });
  ASSERT_TRUE(swapper.started());
  if (processors[1] >= 0) runOn(processors[0]);
  // Bounded by calls and by time both: the race is won within thousands of
  // calls, and a slow machine must not make the test run on.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
  int calls = 0;
  struct stat now = before;
  const auto untouched = [&] {
    return ::stat(secret.c_str(), &now) == 0 && now.st_ino == before.st_ino &&
           now.st_size == before.st_size && now.st_mtim.tv_nsec == before.st_mtim.tv_nsec;
  };
  while (calls < 50000 && std::chrono::steady_clock::now() < end && untouched()) {
    Write(u"AB", 48, x);  // refused, or onto nobody's plain file
    ++calls;
  }
  ::sched_setaffinity(0, sizeof allowed, &allowed);
  EXPECT_EQ(AsString(ReadFile(secret)), kOld) << "written at call " << calls;
  EXPECT_EQ(now.st_ino, before.st_ino) << "replaced at call " << calls;
}

// Longer than the writer's buffer, so the file leaves in several writes;
// through a FIFO shrunk to one page whose reader starts late, so a
// descriptor left non-blocking would fail with EAGAIN.
TEST(HostileUse, PipesAndFIFOsTakeAFileOfAnyLength) {
  const std::u16string text(30000, u'p');
  const Bytes expected = ExpectedMIDIFile(Bytes(text.begin(), text.end()), 48);
  const auto readAll = [](int fd, Bytes& into) {
    uint8_t piece[4096];
    for (ssize_t got; (got = ::read(fd, piece, sizeof piece)) > 0;) into.insert(into.end(), piece, piece + got);
  };

  int pipeEnds[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  if (QUORBEL_HAVE_PROC_SUPER_MAGIC) {  // a pipe is named through /proc

  Bytes fromPipe;
  std::thread pipeReader([&] { readAll(pipeEnds[0], fromPipe); });
  EXPECT_EQ(Write(text.c_str(), 48, "/proc/self/fd/" + std::to_string(pipeEnds[1])).value, QUORBEL_OK);
  ::close(pipeEnds[1]);
  pipeReader.join();
  ::close(pipeEnds[0]);
  EXPECT_TRUE(fromPipe == expected);
  }

  TempDirectory dir;
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ::fcntl(reader, F_SETPIPE_SZ, 4096);
  Bytes fromFIFO;
  std::thread lateReader([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ::fcntl(reader, F_SETFL, 0);
    readAll(reader, fromFIFO);
  });
  EXPECT_EQ(Write(text.c_str(), 48, fifo).value, QUORBEL_OK);
  lateReader.join();  // the call has closed the writing end: the read ends
  ::close(reader);
  EXPECT_TRUE(fromFIFO == expected);
}

TEST(HostileUse, AReplacedFileKeepsItsACLAndAttributes) {
  if (!QUORBEL_HAVE_LINUX_XATTR) GTEST_SKIP() << "built without extended attributes";
  TempDirectory dir;
  const std::string file = dir / "song.mid";
  WriteFile(file, kOld);
  ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
  // user::rw- user:nobody:rw- group::r-- mask::rw- other::---, as the
  // kernel stores it: a version, then (tag, permissions, id) entries.
  const uint8_t acl[] = {2, 0, 0, 0,
                         1, 0, 6, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                         2, 0, 6, 0, 0xFE, 0xFF, 0, 0,
                         4, 0, 4, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                         0x10, 0, 6, 0, 0xFF, 0xFF, 0xFF, 0xFF,
                         0x20, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF};
  if (::setxattr(file.c_str(), "system.posix_acl_access", acl, sizeof acl, 0) != 0 ||
      ::setxattr(file.c_str(), "user.comment", "kept", 4, 0) != 0) {
    GTEST_SKIP() << "no ACLs or user attributes here: " << std::strerror(errno);
  }
  struct stat before, after;
  ASSERT_EQ(::stat(file.c_str(), &before), 0);
  ASSERT_EQ(Write(u"AB", 48, file).value, QUORBEL_OK);
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_NE(before.st_ino, after.st_ino) << "not a replacement";
  EXPECT_EQ(after.st_mode & 07777, before.st_mode & 07777);
  uint8_t copied[sizeof acl + 8];
  EXPECT_EQ(::getxattr(file.c_str(), "system.posix_acl_access", copied, sizeof copied),
            ssize_t(sizeof acl));
  EXPECT_EQ(std::memcmp(copied, acl, sizeof acl), 0);
  char comment[8] = {};
  EXPECT_EQ(::getxattr(file.c_str(), "user.comment", comment, sizeof comment), 4);
  EXPECT_STREQ(comment, "kept");

  // Replaced by someone else, whose file it then is: no set-id bits.
  ASSERT_EQ(::chmod(dir.path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(file.c_str(), 06666), 0);
  EXPECT_EQ(AsAnotherUser([&] { return Write(u"AB", 48, file).value == QUORBEL_OK ? 0 : 1; }), 0);
  ASSERT_EQ(::stat(file.c_str(), &after), 0);
  EXPECT_EQ(after.st_mode & 06000, 0u);
}

// A file the caller may write, where the directory refuses a rename over
// it, is written in place: the caller would expect what an open allows.
TEST(HostileUse, WhereARenameCannotWorkAWritableFileIsWrittenInPlace) {
  TempDirectory dir;
  const auto nobodyWrites = [&](const std::string& file) {
    return AsAnotherUser([&] { return Write(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, file).value == QUORBEL_OK ? 0 : errno; });
  };
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "closed").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir((dir / "sticky").c_str(), 01777), 0);
  ASSERT_EQ(::chmod((dir / "sticky").c_str(), 01777), 0);
  for (const std::string& file : {dir / "closed/song.mid", dir / "sticky/song.mid"}) {
    WriteFile(file, kOld + std::string(200, 'o'));  // longer than the new file
    ASSERT_EQ(::chmod(file.c_str(), 0666), 0);
    EXPECT_EQ(nobodyWrites(file), 0) << file;
    EXPECT_EQ(ReadFile(file).size(), sizeof kDocumentedExample) << file;
  }
  EXPECT_EQ(TempDirectory::EntriesOf(dir / "sticky"), Names{"song.mid"});

  // Append-only and immutable directories, and a file mounted over another:
  // these need privileges that a test run may not have. An append-only
  // directory takes a new file too, and neither keeps a temporary.
  for (const int flag : {FS_APPEND_FL, FS_IMMUTABLE_FL}) {
    const std::string flagged = dir / (flag == FS_APPEND_FL ? "append-only" : "immutable");
    ASSERT_EQ(::mkdir(flagged.c_str(), 0755), 0);
    WriteFile(flagged + "/song.mid", kOld);
    const int directory = ::open(flagged.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = flag;
    // Without statx, an append-only directory is not seen.
    if (QUORBEL_HAVE_STATX && ::ioctl(directory, FS_IOC_SETFLAGS, &flags) == 0) {
      EXPECT_EQ(Write(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, flagged + "/song.mid").value, QUORBEL_OK) << flagged;
      EXPECT_EQ(ReadFile(flagged + "/song.mid").size(), sizeof kDocumentedExample) << flagged;
      const Result created = Write(u"AB", 48, flagged + "/new.mid");
      if (flag == FS_APPEND_FL && QUORBEL_HAVE_O_TMPFILE) {
        EXPECT_EQ(created.value, QUORBEL_OK);
      } else {
        EXPECT_EQ(created.error, EPERM) << flagged;
      }
      const Names expected = created.value == QUORBEL_OK ? Names{"new.mid", "song.mid"} : Names{"song.mid"};
      EXPECT_EQ(TempDirectory::EntriesOf(flagged), expected) << flagged;
      flags = 0;
      ::ioctl(directory, FS_IOC_SETFLAGS, &flags);
    }
    ::close(directory);
  }
  WriteFile(dir / "mounted.mid", kOld);
  WriteFile(dir / "source.mid", kOld);
  if (QUORBEL_HAVE_STATX &&
      ::mount((dir / "source.mid").c_str(), (dir / "mounted.mid").c_str(), nullptr, MS_BIND, nullptr) == 0) {
    EXPECT_EQ(Write(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, dir / "mounted.mid").value, QUORBEL_OK);
    ::umount((dir / "mounted.mid").c_str());
    EXPECT_EQ(ReadFile(dir / "source.mid").size(), sizeof kDocumentedExample);
  }
}

// In place, the new file's space is reserved before its first byte: a full
// file system refuses the call and the old file stays whole.
TEST(HostileUse, AFullFileSystemLeavesAFileWrittenInPlaceWhole) {
  if (!QUORBEL_HAVE_FALLOCATE) GTEST_SKIP() << "no space reservation here";
  TempDirectory dir;
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  const std::string small = dir / "small";
  ASSERT_EQ(::mkdir(small.c_str(), 0755), 0);
  if (::mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k,mode=0755") != 0) {
    GTEST_SKIP() << "cannot mount a small file system: " << std::strerror(errno);
  }
  const std::string file = small + "/song.mid";
  WriteFile(file, kOld);
  ::chmod(file.c_str(), 0666);
  const std::u16string text(20000, u's');  // 160 KB: more than there is
  const int result =
      AsAnotherUser([&] { return Write(text.c_str(), 48, file).value == QUORBEL_OK ? 0 : errno; });
  const std::string content = AsString(ReadFile(file));
  ::umount(small.c_str());
  EXPECT_EQ(result, ENOSPC);
  EXPECT_EQ(content, kOld);
}

TEST(HostileUse, ASuccessfulCallLeavesErrnoAlone) {
  TempDirectory dir;
  errno = EDOM;
  EXPECT_EQ(WriteMIDI(u"AB", 48, Widen(dir / "new.mid").c_str()), QUORBEL_OK);
  EXPECT_EQ(errno, EDOM);
}

}  // namespace
}  // namespace quorbel::test
