// All or nothing: a call either puts a whole new file in place of the path
// or leaves the path exactly as it was, whatever fails and wherever. The
// faults come through the output file's table of system calls.

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

#include "AsAnotherUser.h"
#include "DocumentedExample.h"
#include "FileSizeLimit.h"
#include "LongTrackBuffer.h"
#include "MIDIFileWriter.h"
#include "QuorbelFeatures.h"
#include "SystemCallSeam.h"
#include "TempDirectory.h"
#include "WriteCall.h"
#include "quorbel/quorbel.h"

namespace quorbel::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

const std::string kOldContent = "the old file, which must survive: " + std::string(5000, 'o');

class Replacement : public ::testing::Test {
 protected:
  void TearDown() override { RestoreSystemCalls(); }

  void WriteOld(const std::string& path, mode_t mode = 0644) {
    WriteFile(path, kOldContent);
    ASSERT_EQ(::chmod(path.c_str(), mode), 0);
  }
  void ExpectOld(const std::string& path) {
    const Bytes bytes = ReadFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), kOldContent) << path;
  }

  TempDirectory dir;
  std::string file = dir / "song.mid";
};

TEST_F(Replacement, AFailureAtAnyPointLeavesThePathAsItWas) {
  const std::u16string shortText = u"AB";
  // Eight bytes a note at 48 ticks: a long file, which goes out in the
  // large pieces of a long file (or in the writer's own, where no mapping
  // is had: more of them), so that one write falls in the middle.
  const std::u16string longText(4 * LongTrackBuffer::kLargestPiece / 8, u'a');
  const uint64_t longFile = 52 + 8 * longText.size();
  const size_t piece = LongTrackPieceSize(longFile, size_t(::sysconf(_SC_PAGESIZE)));
  const int middleWrite = int((longFile + piece - 1) / piece / 2 + 1);
  using Arm = void (*)(int nth, int error);
  const struct {
    const char* where;
    Arm arm;
    int nth;
    const std::u16string* text;
    int error;
    bool renames;  // a step that a new unnamed file, linked in under its own name, skips
  } faults[] = {
      {"the only write", FailCall<&SystemCalls::write>, 1, &shortText, ENOSPC, false},
      {"the first write", FailCall<&SystemCalls::write>, 1, &longText, EIO, false},
      {"a later write", FailCall<&SystemCalls::write>, middleWrite, &longText, EDQUOT, false},
      {"the close", FailCall<&SystemCalls::close>, 1, &shortText, EIO, false},
      {"the rename", FailCall<&SystemCalls::renameat>, 1, &shortText, EXDEV, true},
      // The unnamed temporary's name, given once it is complete.
      {"the naming",
       QUORBEL_HAVE_O_TMPFILE ? FailCall<&SystemCalls::linkat> : FailCall<&SystemCalls::renameat>,
       1, &shortText, EMLINK, false},
  };
  for (const bool oldFileExists : {true, false}) {
    for (const auto& fault : faults) {
      if (!oldFileExists && QUORBEL_HAVE_O_TMPFILE && fault.renames) continue;
      if (oldFileExists) {
        WriteOld(file);
      } else {
        ::unlink(file.c_str());
      }
      fault.arm(fault.nth, fault.error);
      const Result result = Write(fault.text->c_str(), 48, file);
      EXPECT_TRUE(CallReached()) << fault.where;
      RestoreSystemCalls();
      EXPECT_EQ(result.value, 0) << fault.where;
      EXPECT_EQ(result.error, fault.error) << fault.where;
      if (oldFileExists) {
        EXPECT_EQ(dir.Entries(), Names{"song.mid"}) << fault.where;
        ExpectOld(file);
      } else {
        EXPECT_EQ(dir.Entries(), Names{}) << fault.where;
      }
    }
  }
}

TEST_F(Replacement, ADirectoryRemovedWhileTheCallRunsIsReported) {
  const std::string inner = dir / "inner";
  ASSERT_EQ(::mkdir(inner.c_str(), 0755), 0);
  BeforeCall<&SystemCalls::write>(1, [&] {
    for (const std::string& name : TempDirectory::EntriesOf(inner)) {
      ::unlink((inner + "/" + name).c_str());
    }
    ::rmdir(inner.c_str());
  });
  const Result result = Write(u"AB", 48, inner + "/song.mid");
  ASSERT_TRUE(CallReached());
  EXPECT_EQ(result.value, 0);
  EXPECT_EQ(result.error, ENOENT);
  EXPECT_FALSE(Exists(inner));
}

// A kill can leave the temporary's name behind only between its naming and
// the rename; the close, which can flush for long, comes before the naming.
TEST_F(Replacement, AnUnnamedTemporaryIsClosedBeforeItHasAName) {
  if (!QUORBEL_HAVE_O_TMPFILE) GTEST_SKIP() << "named temporaries";
  WriteOld(file);
  Names entriesAtTheClose;
  BeforeCall<&SystemCalls::close>(1, [&] { entriesAtTheClose = dir.Entries(); });
  EXPECT_EQ(Write(u"AB", 48, file).value, QUORBEL_OK);
  ASSERT_TRUE(CallReached());
  EXPECT_EQ(entriesAtTheClose, Names{"song.mid"});
  EXPECT_EQ(dir.Entries(), Names{"song.mid"});
}

TEST_F(Replacement, ASizeLimitReachedMidwayLeavesTheOldFileWhole) {
  WriteOld(file);
  Result result{};
  {
    const FileSizeLimit limit(64 * 1024);
    ASSERT_TRUE(limit.applied());
    result = Write(std::u16string(100000, u'a').c_str(), 48, file);
  }

  EXPECT_EQ(result.value, 0);
  EXPECT_EQ(result.error, EFBIG);
  EXPECT_EQ(dir.Entries(), Names{"song.mid"});
  ExpectOld(file);
}

TEST_F(Replacement, SuccessReplacesTheFileAndKeepsItsOwnerAndMode) {
  // Umasks that would take bits away from the replacement if nothing put
  // them back, and, as root, another owner and the set-user-ID bit.
  const bool root = ::geteuid() == 0;
  for (const mode_t testMask : {077, 022}) {
    const mode_t mask = ::umask(testMask);
    WriteOld(file);
    if (root) {
      ASSERT_EQ(::chown(file.c_str(), 65534, 65534), 0);  // before the mode: it clears set-id bits
    }
    ASSERT_EQ(::chmod(file.c_str(), root ? 04755 : 0664), 0);
    const Result result = Write(u"AB", 48, file);
    ::umask(mask);
    ASSERT_EQ(result.value, QUORBEL_OK);
    EXPECT_EQ(ReadFile(file).size(), sizeof kDocumentedExample);
    EXPECT_EQ(dir.Entries(), Names{"song.mid"});
    struct stat status;
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, root ? 04755u : 0664u) << "umask " << testMask;
    if (root) {
      EXPECT_EQ(status.st_uid, 65534u);
      EXPECT_EQ(status.st_gid, 65534u);
    }
  }

  // A new file gets the usual mode for new files, whatever the umask.
  const mode_t newMask = ::umask(002);
  ASSERT_EQ(Write(u"AB", 48, dir / "new.mid").value, QUORBEL_OK);
  ::umask(newMask);
  struct stat status;
  ASSERT_EQ(::stat((dir / "new.mid").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0664u);
}

TEST_F(Replacement, ASymbolicLinkStaysALinkAndItsTargetIsReplacedOrKept) {
  ASSERT_EQ(::mkdir((dir / "store").c_str(), 0755), 0);
  WriteOld(dir / "store/target.mid");
  ASSERT_EQ(::symlink("store/target.mid", (dir / "link.mid").c_str()), 0);
  ASSERT_EQ(::symlink("link.mid", (dir / "link2.mid").c_str()), 0);
  auto isLink = [&](const std::string& name) {
    struct stat status;
    return ::lstat((dir / name).c_str(), &status) == 0 && S_ISLNK(status.st_mode);
  };

  FailCall<&SystemCalls::write>(1, EIO);
  EXPECT_EQ(Write(u"AB", 48, dir / "link2.mid").value, 0);
  RestoreSystemCalls();
  EXPECT_TRUE(isLink("link.mid") && isLink("link2.mid"));
  ExpectOld(dir / "store/target.mid");
  EXPECT_EQ(TempDirectory::EntriesOf(dir / "store"), Names{"target.mid"});

  ASSERT_EQ(Write(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, dir / "link2.mid").value, QUORBEL_OK);
  EXPECT_TRUE(isLink("link.mid") && isLink("link2.mid"));
  EXPECT_EQ(ReadFile(dir / "store/target.mid").size(), sizeof kDocumentedExample);

  // A link to nothing yet gets its target created.
  ASSERT_EQ(::symlink("store/later.mid", (dir / "dangling.mid").c_str()), 0);
  ASSERT_EQ(Write(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, dir / "dangling.mid").value, QUORBEL_OK);
  EXPECT_TRUE(isLink("dangling.mid"));
  EXPECT_EQ(ReadFile(dir / "store/later.mid").size(), sizeof kDocumentedExample);
}

TEST_F(Replacement, WhatIsNotARegularFileIsWrittenInPlace) {
  EXPECT_EQ(Write(u"AB", 48, "/dev/null").value, QUORBEL_OK);

  // A FIFO with a reader: the reader's end is open first, so the call
  // neither waits nor is refused.
  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  EXPECT_EQ(Write(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, fifo).value, QUORBEL_OK);
  uint8_t received[sizeof kDocumentedExample + 1];
  EXPECT_EQ(::read(reader, received, sizeof received), ssize_t{sizeof kDocumentedExample});
  ::close(reader);
  struct stat status;
  ASSERT_EQ(::lstat(fifo.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

// /dev/stdout, /dev/fd/N and /proc/self/fd/N stand for files already open,
// which may have no name at all: the call writes to the open file.
TEST_F(Replacement, AnOpenFileReachedThroughProcIsWrittenInPlace) {
  if (!QUORBEL_HAVE_PROC_SUPER_MAGIC) GTEST_SKIP() << "built without knowledge of /proc";
  const auto writeThrough = [](int fd) {
    return Write(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, "/proc/self/fd/" + std::to_string(fd)).value;
  };
  const auto sizeOf = [](int fd) {
    struct stat status;
    return ::fstat(fd, &status) == 0 ? status.st_size : -1;
  };

  const int deleted = ::open((dir / "deleted.mid").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(deleted, 0);
  ASSERT_EQ(::unlink((dir / "deleted.mid").c_str()), 0);
  EXPECT_EQ(writeThrough(deleted), QUORBEL_OK);
  EXPECT_EQ(sizeOf(deleted), off_t{sizeof kDocumentedExample});
  ::close(deleted);

  const int memory = ::memfd_create("quorbel-test", 0);
  ASSERT_GE(memory, 0);
  EXPECT_EQ(writeThrough(memory), QUORBEL_OK);
  EXPECT_EQ(sizeOf(memory), off_t{sizeof kDocumentedExample});
  ::close(memory);

  WriteOld(file);
  const int named = ::open(file.c_str(), O_WRONLY);
  ASSERT_GE(named, 0);
  EXPECT_EQ(writeThrough(named), QUORBEL_OK);
  ::close(named);
  EXPECT_EQ(ReadFile(file).size(), sizeof kDocumentedExample);
  EXPECT_EQ(dir.Entries(), Names{"song.mid"}) << "a file was made from a /proc link's text";
}

TEST_F(Replacement, WhatTheCallerMayNotWriteKeepsItsFile) {
  const auto refused = [this] {
    const Result result = Write(u"AB", 48, file);
    return result.value == 0 && result.error == EACCES ? 0 : 1;
  };
  // A read-only directory.
  WriteOld(file);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  EXPECT_EQ(AsAnotherUser(refused), 0) << "1: not refused with EACCES; 3: could not give up root";
  ::chmod(dir.path().c_str(), 0777);
  // A read-only file in a directory the caller may write: an open for
  // writing would refuse it, and so does the replacement.
  ASSERT_EQ(::chmod(file.c_str(), 0444), 0);
  EXPECT_EQ(AsAnotherUser(refused), 0) << "a read-only file was replaced";
  ::chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(dir.Entries(), Names{"song.mid"});
  ExpectOld(file);
}

#if QUORBEL_HAVE_FALLOCATE
// Written in place (a directory the caller may not write into), a file
// whose new size cannot be reserved keeps every old byte.
TEST_F(Replacement, AReservationRefusedInPlaceLeavesTheOldFileWhole) {
  ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
  WriteOld(file, 0666);
  const int result = AsAnotherUser([this] {
    FailCall<&SystemCalls::fallocate>(1, EDQUOT);
    const Result written = Write(std::u16string(10000, u'r').c_str(), 48, file);
    return written.value == 0 && written.error == EDQUOT && CallReached() ? 0 : 1;
  });
  EXPECT_EQ(result, 0);
  ExpectOld(file);
  EXPECT_EQ(dir.Entries(), Names{"song.mid"});
}
#endif

TEST_F(Replacement, LongPathsWorkUpToTheSystemLimit) {
  // About 4000 characters: directories of 200 characters each.
  std::string path = dir.path();
  while (path.size() < 3780) {
    path += "/" + std::string(200, 'd');
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  }
  path += "/" + std::string(3999 - path.size() - 1, 'f');
  ASSERT_EQ(path.size(), 3999u);
  ASSERT_EQ(Write(QUORBEL_EXAMPLE_TEXT, QUORBEL_EXAMPLE_TICKS, path).value, QUORBEL_OK);
  EXPECT_EQ(ReadFile(path).size(), sizeof kDocumentedExample);

  const Result tooLong = Write(u"AB", 48, path + "/" + std::string(200, 'x'));
  EXPECT_EQ(tooLong.value, 0);
  EXPECT_EQ(tooLong.error, ENAMETOOLONG);
}

}  // namespace
}  // namespace quorbel::test
