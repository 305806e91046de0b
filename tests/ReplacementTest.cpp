// All or nothing: a call either puts a whole new file in place of the path
// or leaves the path exactly as it was, whatever fails and wherever.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "SystemCallFaults.h"
#include "TempDirectory.h"
#include "quorbel/quorbel.h"

namespace quorbel::test {
namespace {

using Bytes = std::vector<uint8_t>;
using Names = std::vector<std::string>;

struct Result {
  int32_t value;
  int error;
};

Result Write(const std::u16string& text, const std::string& path, int32_t ticks = 48) {
  const std::u16string widePath(path.begin(), path.end());
  errno = 0;
  const int32_t value = WriteMIDI(text.c_str(), ticks, widePath.c_str());
  return {value, errno};
}

const std::string kOldContent = "the old file, which must survive: " + std::string(5000, 'o');

class Replacement : public ::testing::Test {
 protected:
  void TearDown() override { QuorbelDisarmFaults(); }

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
  const std::u16string longText(100000, u'a');  // leaves the buffer many times
  const struct {
    const char* where;
    QuorbelFaultPoint point;
    int nth;
    const std::u16string* text;
    int error;
  } faults[] = {
      {"the only write", kFaultAtWrite, 1, &shortText, ENOSPC},
      {"the first write", kFaultAtWrite, 1, &longText, EIO},
      {"a later write", kFaultAtWrite, 20, &longText, EDQUOT},
      {"the length patch", kFaultAtPositionedWrite, 1, &longText, EIO},
      {"the close", kFaultAtClose, 1, &shortText, EIO},
      {"the rename", kFaultAtRename, 1, &shortText, EXDEV},
  };
  for (const bool oldFileExists : {true, false}) {
    for (const auto& fault : faults) {
      if (oldFileExists) {
        WriteOld(file);
      } else {
        ::unlink(file.c_str());
      }
      QuorbelArmFault(fault.point, fault.nth, fault.error);
      const Result result = Write(*fault.text, file);
      EXPECT_TRUE(QuorbelFaultReached()) << fault.where;
      QuorbelDisarmFaults();
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

void RemoveTheDirectoryOfTheCall();
std::string directoryToRemove;

void RemoveTheDirectoryOfTheCall() {
  for (const std::string& name : TempDirectory::EntriesOf(directoryToRemove)) {
    ::unlink((directoryToRemove + "/" + name).c_str());
  }
  ::rmdir(directoryToRemove.c_str());
}

TEST_F(Replacement, ADirectoryRemovedWhileTheCallRunsIsReported) {
  const std::string inner = dir / "inner";
  ASSERT_EQ(::mkdir(inner.c_str(), 0755), 0);
  directoryToRemove = inner;
  QuorbelArmHook(kFaultAtWrite, 1, RemoveTheDirectoryOfTheCall);
  const Result result = Write(u"AB", inner + "/song.mid");
  ASSERT_TRUE(QuorbelFaultReached());
  EXPECT_EQ(result.value, 0);
  EXPECT_EQ(result.error, ENOENT);
  EXPECT_FALSE(Exists(inner));
}

TEST_F(Replacement, ASizeLimitReachedMidwayLeavesTheOldFileWhole) {
  WriteOld(file);
  struct rlimit old;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit low = old;
  low.rlim_cur = 64 * 1024;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &low), 0);
  const Result result = Write(std::u16string(100000, u'a'), file);
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(result.value, 0);
  EXPECT_EQ(result.error, EFBIG);
  EXPECT_EQ(dir.Entries(), Names{"song.mid"});
  ExpectOld(file);
}

TEST_F(Replacement, SuccessReplacesTheFileAndKeepsItsPermissionBits) {
  WriteOld(file, 0640);
  ASSERT_EQ(Write(u"AB", file).value, QUORBEL_OK);
  EXPECT_EQ(ReadFile(file).size(), 68u);
  EXPECT_EQ(dir.Entries(), Names{"song.mid"});
  struct stat status;
  ASSERT_EQ(::stat(file.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);

  // A new file gets the usual mode for new files.
  const mode_t mask = ::umask(022);
  ASSERT_EQ(Write(u"AB", dir / "new.mid").value, QUORBEL_OK);
  ::umask(mask);
  ASSERT_EQ(::stat((dir / "new.mid").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0644u);
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

  QuorbelArmFault(kFaultAtWrite, 1, EIO);
  EXPECT_EQ(Write(u"AB", dir / "link2.mid").value, 0);
  QuorbelDisarmFaults();
  EXPECT_TRUE(isLink("link.mid") && isLink("link2.mid"));
  ExpectOld(dir / "store/target.mid");
  EXPECT_EQ(TempDirectory::EntriesOf(dir / "store"), Names{"target.mid"});

  ASSERT_EQ(Write(u"AB", dir / "link2.mid").value, QUORBEL_OK);
  EXPECT_TRUE(isLink("link.mid") && isLink("link2.mid"));
  EXPECT_EQ(ReadFile(dir / "store/target.mid").size(), 68u);

  // A link to nothing yet gets its target created.
  ASSERT_EQ(::symlink("store/later.mid", (dir / "dangling.mid").c_str()), 0);
  ASSERT_EQ(Write(u"AB", dir / "dangling.mid").value, QUORBEL_OK);
  EXPECT_TRUE(isLink("dangling.mid"));
  EXPECT_EQ(ReadFile(dir / "store/later.mid").size(), 68u);
}

TEST_F(Replacement, WhatIsNotARegularFileIsWrittenInPlace) {
  EXPECT_EQ(Write(u"AB", "/dev/null").value, QUORBEL_OK);

  const std::string fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  Bytes received;
  std::thread reader([&] { received = ReadFile(fifo); });
  // The open fails with ENXIO until the reader has opened its end.
  Result result{0, ENXIO};
  for (int tries = 0; tries < 2000 && result.value == 0 && result.error == ENXIO; ++tries) {
    result = Write(u"AB", fifo);
    if (result.value == 0) ::usleep(1000);
  }
  reader.join();
  EXPECT_EQ(result.value, QUORBEL_OK);
  EXPECT_EQ(received.size(), 68u);
  struct stat status;
  ASSERT_EQ(::lstat(fifo.c_str(), &status), 0);
  EXPECT_TRUE(S_ISFIFO(status.st_mode));
}

TEST_F(Replacement, AReadOnlyDirectoryKeepsItsFile) {
  WriteOld(file);
  ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
  // Root writes anywhere: the call is made by a child that gives up root.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    const Result result = Write(u"AB", file);
    ::_exit(result.value == 0 && result.error == EACCES ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ::chmod(dir.path().c_str(), 0755);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not refused with EACCES; 3: could not give up root";
  EXPECT_EQ(dir.Entries(), Names{"song.mid"});
  ExpectOld(file);
}

TEST_F(Replacement, LongPathsWorkUpToTheSystemLimit) {
  // About 4000 characters: directories of 200 characters each.
  std::string path = dir.path();
  while (path.size() < 3780) {
    path += "/" + std::string(200, 'd');
    ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  }
  path += "/" + std::string(3999 - path.size() - 1, 'f');
  ASSERT_EQ(path.size(), 3999u);
  ASSERT_EQ(Write(u"AB", path).value, QUORBEL_OK);
  EXPECT_EQ(ReadFile(path).size(), 68u);

  const Result tooLong = Write(u"AB", path + "/" + std::string(200, 'x'));
  EXPECT_EQ(tooLong.value, 0);
  EXPECT_EQ(tooLong.error, ENAMETOOLONG);
}

}  // namespace
}  // namespace quorbel::test
