#pragma once

#include <cstdint>
#include <string>

#include "UTF8.h"
#include "quorbel/quorbel.h"

// What the tool needs from the system: one source per platform.

namespace quorbel::cli {

// The tool itself, given its arguments as UTF-8 (main.cpp). Each platform's
// entry point calls it.
int RunTool(int argc, char** argv);

// Past the file size limit a write fails with EFBIG and the call cleans up
// after itself; where the limit comes as a signal, its default action would
// kill the tool first.
void IgnoreFileSizeSignal();

// All of standard input, as bytes. Returns 0, or the errno value of a
// failed read.
[[nodiscard]] int ReadStandardInput(std::string& text);

// Whether `path` names the file that standard output already is (a file or
// a pipe, not a terminal or a device that both may share).
bool IsStandardOutput(const std::string& path);

// The number of notes `text` makes: the bytes of its multibyte form (UTF-8
// on POSIX, the ANSI code page on Windows).
uint64_t NoteCount(const UTF16String& text);

// Writes the MIDI file of `notes` to the tool's standard output, through
// its descriptor: at its current offset, with nothing reopened, truncated
// or sought, so that >>, pipes and compound redirections behave as they do
// for any other tool. WriteMIDI writes to a scratch file, which is then
// copied out. Returns 0, or the errno value of the failure.
[[nodiscard]] int WriteMIDIToStandardOutput(const QuorbelUTF16Unit* notes, int32_t noteTicks);

}  // namespace quorbel::cli
