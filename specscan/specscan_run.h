#pragma once

namespace sonvola {

// The whole SpecScan program: from the command line to SpecScan.txt.
// Returns the exit status; fatal errors end the process.
int runSpecScan(int argc, char** argv);

}  // namespace sonvola
