#pragma once

#include <cstdint>
#include <string>

#include "quorbel/quorbel.h"

namespace quorbel::cli {

// Whether `path` names the file that standard output already is (a file or
// a pipe, not a terminal or a device that both may share).
bool IsStandardOutput(const std::string& path);

// Writes the MIDI file of `notes` to the tool's standard output, through
// its descriptor: at its current offset, with nothing reopened, truncated
// or sought, so that >>, pipes and compound redirections behave as they do
// for any other tool. WriteMIDI writes to a scratch file, which is then
// copied out; `copied` counts the bytes that went out. Returns 0, or the
// errno value of the failure.
[[nodiscard]] int WriteMIDIToStandardOutput(const QuorbelUTF16Unit* notes, int32_t noteTicks,
                                            uint64_t& copied);

}  // namespace quorbel::cli
