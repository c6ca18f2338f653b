// sonvola-transcribe on several recordings: a run of the program per
// recording, several at once.
#pragma once

#include "tools/transcribe.h"

namespace sonvola {

// Runs the whole command for several recordings (or for folders, a report,
// --skip-done), with a line per recording on standard error, the report and
// the summary. Returns 0 when every recording was done or skipped, 1 when
// any failed, 128 + the signal when stopped.
int runBatch(const TranscribeOptions& options);

}  // namespace sonvola
