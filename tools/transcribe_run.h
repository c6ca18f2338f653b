// sonvola-transcribe's run on one recording.
#pragma once

#include "tools/transcribe.h"

namespace sonvola {

// Runs the stages on options.recording, saying what happens on standard
// error and where the outputs are on standard output; returns the exit status
// of the command.
int runTranscribe(const TranscribeOptions& options);

}  // namespace sonvola
