#include <cerrno>

#include "ErrorReport.h"
#include "LongTrackBuffer.h"
#include "MIDIFileWriter.h"
#include "NativePath.h"
#include "OutputFile.h"
#include "TextTrack.h"
#include "quorbel/quorbel.h"

namespace quorbel {
namespace {

// Returns 0 once the whole file is written and closed, or an errno value.
int WriteMIDIFile(const QuorbelUTF16Unit* notes, int32_t noteTicks,
                  const QuorbelUTF16Unit* path) {
  BeginErrorReport();
  // Refused before anything is opened, so an existing file stays as it is.
  if (!NoteTicksInRange(noteTicks)) return EINVAL;
  NativePath nativePath;
  if (const int error = nativePath.Assign(path)) return error;

  // The whole length is known before the first byte goes out, so the file
  // is written front to back: any output takes it, and space for a file
  // written in place can be reserved first.
  const TextSize text = MeasureText(notes);
  TextFile planned;
  if (const int error = PlanTextFile(text.bytes, static_cast<uint32_t>(noteTicks), planned)) {
    return error;
  }
  OutputFile file;  // discards the file unless it is closed successfully
  if (const int error = file.Open(nativePath.c_str(), planned.size)) return error;
  const LongTrackBuffer pieces(file, planned.size);
  MIDIFileWriter writer(file, kTicksPerQuarterNote, planned.trackLength, pieces.data(),
                        pieces.size());
  WriteTextTrack(writer, notes, text, static_cast<uint32_t>(noteTicks));
  if (const int error = writer.Finish()) return error;
  return file.Close();
}

}  // namespace
}  // namespace quorbel

extern "C" QUORBEL_API int32_t QUORBEL_CALL
WriteMIDI(const QuorbelUTF16Unit* notes, int32_t noteTicks,
          const QuorbelUTF16Unit* path) {
  const int callersErrno = errno;  // what the system calls on the way set is theirs alone
  const int error = quorbel::WriteMIDIFile(notes, noteTicks, path);
  if (error != 0) {
    quorbel::ReportError(error);
    return 0;
  }
  errno = callersErrno;
  return QUORBEL_OK;
}
