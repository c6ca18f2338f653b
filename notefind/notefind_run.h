#pragma once

#include <string>

#include "common/status.h"
#include "notefind/recognize.h"

namespace sonvola {

struct NoteFindParameters {
    ScoreArguments score;
    double tempo = 0.0;
    double noteValue = 0.0;
    std::string missing;  // the arguments that took their defaults, for the console
};

// Reads the arguments into `p` (missing ones take the front end's defaults,
// and are named in p.missing also when refused); refused with the message to
// print for a tempo or note value that is not positive.
Status parseNoteFindArguments(int argc, char** argv, NoteFindParameters& p);

// The whole NoteFind program: TrackJoin.txt to the score text beside the
// recording. Returns the exit status; fatal errors end the process.
int runNoteFind(int argc, char** argv);

}  // namespace sonvola
