#pragma once

#include <string>

#include "common/status.h"

namespace sonvola {

struct TrackJoinParameters {
    double tempo = 0.0;
    double noteValue = 0.0;
    bool amend = false;
};

// Reads the arguments; refused with the message to print when they cannot
// make a run (too few, or a tempo or note value that is not a positive number).
Result<TrackJoinParameters> parseTrackJoinArguments(int argc, char** argv);

// The whole TrackJoin program: SpecScan.txt to TrackJoin.txt. Returns the
// exit status; fatal errors end the process.
int runTrackJoin(int argc, char** argv);

}  // namespace sonvola
