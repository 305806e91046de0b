#pragma once

#include <cstdint>

#include "quorbel/quorbel.h"

namespace quorbel::cli {

// Writes the MIDI file of `notes` to the tool's standard output, through
// its descriptor: at its current offset, with nothing reopened, truncated
// or sought, so that >>, pipes and compound redirections behave as they do
// for any other tool. WriteMIDI writes to a file with no name, which is
// then copied out. Returns 0, or the errno value of the failure.
int WriteMIDIToStandardOutput(const QuorbelUTF16Unit* notes, int32_t noteTicks);

}  // namespace quorbel::cli
