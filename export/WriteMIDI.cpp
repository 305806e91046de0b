#include <cerrno>

#include "ErrorReport.h"
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
  if (noteTicks < 0 || noteTicks > QUORBEL_MAX_NOTE_TICKS) return EINVAL;
  NativePath nativePath;
  if (const int error = nativePath.Assign(path)) return error;

  OutputFile file;  // discards the file unless it is closed successfully
  if (const int error = file.Open(nativePath.c_str())) return error;
  MIDIFileWriter writer(file, kTicksPerQuarterNote);
  WriteTextTrack(writer, notes, static_cast<uint32_t>(noteTicks));
  if (const int error = writer.Finish()) return error;
  return file.Close();
}

}  // namespace
}  // namespace quorbel

extern "C" QUORBEL_API int32_t QUORBEL_CALL
WriteMIDI(const QuorbelUTF16Unit* notes, int32_t noteTicks,
          const QuorbelUTF16Unit* path) {
  const int error = quorbel::WriteMIDIFile(notes, noteTicks, path);
  if (error != 0) {
    quorbel::ReportError(error);
    return 0;
  }
  return QUORBEL_OK;
}
