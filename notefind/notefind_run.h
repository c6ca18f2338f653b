#pragma once

namespace sonvola {

// The whole NoteFind program: TrackJoin.txt to the score text beside the
// recording. Returns the exit status; fatal errors end the process.
int runNoteFind(int argc, char** argv);

}  // namespace sonvola
