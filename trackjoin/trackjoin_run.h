#pragma once

namespace sonvola {

// The whole TrackJoin program: SpecScan.txt to TrackJoin.txt. Returns the
// exit status; fatal errors end the process.
int runTrackJoin(int argc, char** argv);

}  // namespace sonvola
