#pragma once

#include <string>

#include "notefind/recognize.h"

namespace sonvola {

struct NoteFindParameters {
    ScoreArguments score;
    double tempo = 0.0;
    double noteValue = 0.0;
    std::string missing;  // the arguments that took their defaults, for the console
};

// Reads the arguments (missing ones take the front end's defaults); false
// with the message to print for a tempo or note value that is not positive.
bool parseNoteFindArguments(int argc, char** argv, NoteFindParameters& p, std::string& error);

// The whole NoteFind program: TrackJoin.txt to the score text beside the
// recording. Returns the exit status; fatal errors end the process.
int runNoteFind(int argc, char** argv);

}  // namespace sonvola
