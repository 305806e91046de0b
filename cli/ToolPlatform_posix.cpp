#include "ToolPlatform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "QuorbelFeatures.h"
#include "UTF8.h"

namespace quorbel::cli {
namespace {

// Where WriteMIDI is to write: where /proc shows open files, a file with no
// name (in memory where the system has that), named through /proc, which
// the library writes as the open file it is; elsewhere, a new file of our
// own in the temporary directory. Returns the descriptor to read back, or
// -1; `named` tells which it is.
int OpenScratchFile(std::string& path, bool& named) {
#if QUORBEL_HAVE_PROC_SUPER_MAGIC
  // /proc may be missing at run time (a container, a chroot) even where
  // the system has it.
  if (::access("/proc/self/fd", X_OK) == 0) {
#if QUORBEL_HAVE_MEMFD_CREATE
    int fd = ::memfd_create("quorbel", MFD_CLOEXEC);
#else
    int fd = -1;
#endif
    if (fd < 0) {
      std::FILE* file = std::tmpfile();
      fd = file != nullptr ? ::dup(::fileno(file)) : -1;
      if (file != nullptr) std::fclose(file);
    }
    path = "/proc/self/fd/" + std::to_string(fd);
    named = false;
    return fd;
  }
#endif
  const char* directory = std::getenv("TMPDIR");
  path = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
         "/quorbel-XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd >= 0) ::close(fd);
  named = true;
  return fd;
}

// The scratch file as WriteMIDI left it, open for reading and with no name.
int ReopenScratchFile(int fd, const std::string& path, bool named) {
  if (!named) return ::lseek(fd, 0, SEEK_SET) == 0 ? fd : -1;
  const int reopened = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  ::unlink(path.c_str());
  return reopened;
}

// Whoever set the descriptor non-blocking (an event loop sharing it) still
// gets the whole file: a full pipe is waited on.
int WaitUntilWritable(int fd) {
  pollfd writable{fd, POLLOUT, 0};
  while (::poll(&writable, 1, -1) < 0) {
    if (errno != EINTR) return errno;
  }
  return 0;
}

int CopyToStandardOutput(int fd) {
  char piece[65536];
  for (;;) {
    const ssize_t got = ::read(fd, piece, sizeof piece);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    for (ssize_t done = 0; done < got;) {
      const ssize_t written = ::write(STDOUT_FILENO, piece + done, size_t(got - done));
      if (written < 0) {
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
        if (const int error = WaitUntilWritable(STDOUT_FILENO)) return error;
        continue;
      }
      done += written;
    }
  }
}

}  // namespace

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

int ReadStandardInput(std::string& text) {
  char piece[65536];
  for (;;) {
    const ssize_t got = ::read(STDIN_FILENO, piece, sizeof piece);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    text.append(piece, static_cast<size_t>(got));
  }
}

bool IsStandardOutput(const std::string& path) {
  struct stat file, out;
  return ::stat(path.c_str(), &file) == 0 && ::fstat(STDOUT_FILENO, &out) == 0 &&
         file.st_dev == out.st_dev && file.st_ino == out.st_ino && !S_ISCHR(out.st_mode);
}

// Valid UTF-8 goes through the library unchanged: a byte is a note.
uint64_t NoteCount(const UTF16String& text) {
  uint64_t bytes = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (unit < 0x80) {
      bytes += 1;
    } else if (unit < 0x800) {
      bytes += 2;
    } else if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size()) {
      bytes += 4;  // the tool's text holds only whole pairs
      ++i;
    } else {
      bytes += 3;
    }
  }
  return bytes;
}

int WriteMIDIToStandardOutput(const QuorbelUTF16Unit* notes, int32_t noteTicks) {
  // A closed standard output would hand its number to the scratch file,
  // which would then be copied onto itself and reported as written.
  if (::fcntl(STDOUT_FILENO, F_GETFD) < 0) return errno;
  std::string scratchPath;
  bool named = false;
  const int scratch = OpenScratchFile(scratchPath, named);
  if (scratch < 0) return errno;
  UTF16String path;
  size_t badOffset = 0;
  UTF8ToUTF16(scratchPath, path, badOffset);
  int error = 0;
  if (WriteMIDI(notes, noteTicks, path.c_str()) != QUORBEL_OK) error = errno;
  const int written = ReopenScratchFile(scratch, scratchPath, named);  // and removes its name
  if (error == 0) error = written < 0 ? errno : CopyToStandardOutput(written);
  if (written >= 0) {
    ::close(written);
  } else if (!named) {
    ::close(scratch);
  }
  return error;
}

}  // namespace quorbel::cli

int main(int argc, char** argv) { return quorbel::cli::RunTool(argc, argv); }
