#include "ToolPlatform.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
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
// -1; `named` tells which it is, and `libraryPath` is `path` for WriteMIDI.
int OpenScratchFile(std::string& path, UTF16String& libraryPath, bool& named) {
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
    libraryPath.assign(path.begin(), path.end());  // ASCII
    named = false;
    return fd;
  }
#endif
  const char* directory = std::getenv("TMPDIR");
  path = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
         "/quorbel-XXXXXX";
  // WriteMIDI takes the name as UTF-16, which a TMPDIR that is not UTF-8
  // has no form in; cut short at its bad byte, it would name another file.
  size_t badOffset = 0;
  if (!UTF8ToUTF16(path, libraryPath, badOffset)) {
    errno = EILSEQ;
    return -1;
  }
  const int fd = ::mkstemp(path.data());
  if (fd < 0) return -1;
  ::close(fd);
  // mkstemp's letters are ASCII, a unit each in UTF-16 too.
  std::copy(path.end() - 6, path.end(), libraryPath.end() - 6);
  named = true;
  return fd;
}

// The scratch file as WriteMIDI left it, open for reading and with no name;
// or, after a failure, gone.
int ReopenScratchFile(int fd, const std::string& path, bool named, bool written) {
  if (!named) {
    if (written && ::lseek(fd, 0, SEEK_SET) == 0) return fd;
    ::close(fd);
    return -1;
  }
  const int reopened = written ? ::open(path.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  ::unlink(path.c_str());
  return reopened;
}

// Whoever left a descriptor non-blocking (an event loop sharing it) still
// gets the whole text read and the whole file written: it is waited on.
int WaitFor(int fd, short events) {
  pollfd ready{fd, events, 0};
  while (::poll(&ready, 1, -1) < 0) {
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
        if (const int error = WaitFor(STDOUT_FILENO, POLLOUT)) return error;
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
      if (errno != EAGAIN && errno != EWOULDBLOCK) return errno;
      if (const int error = WaitFor(STDIN_FILENO, POLLIN)) return error;
      continue;
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
  UTF16String path;
  bool named = false;
  const int scratch = OpenScratchFile(scratchPath, path, named);
  if (scratch < 0) return errno;
  const bool written = WriteMIDI(notes, noteTicks, path.c_str()) == QUORBEL_OK;
  const int error = errno;
  // Its name goes first, so that even a failed copy leaves nothing behind.
  const int file = ReopenScratchFile(scratch, scratchPath, named, written);
  if (!written) return error;
  if (file < 0) return errno;
  const int copyError = CopyToStandardOutput(file);
  ::close(file);
  return copyError;
}

}  // namespace quorbel::cli

int main(int argc, char** argv) { return quorbel::cli::RunTool(argc, argv); }
