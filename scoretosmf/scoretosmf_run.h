#pragma once

namespace sonvola {

// The whole ScoreToSmf program. Returns the exit status; fatal errors end the process.
int runScoreToSmf(int argc, char** argv);

}  // namespace sonvola
