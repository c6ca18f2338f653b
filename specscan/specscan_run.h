#pragma once

#include <cstdint>
#include <string>

#include "common/status.h"
#include "specscan/spectrum.h"

namespace sonvola {

// The run parameters of SpecScan, checked before any file is touched.
struct SpecScanParameters {
    std::string wavPath;
    double shiftMs = 0.0;
    int32_t shiftInt = 0;
    bool shortTerm = false;
    int32_t frameLength = 0;
    int32_t fftLength = 0;
    WindowKind window = WindowKind::Hamming;
};

// Reads the eight arguments; fails with the message to print when they
// cannot make a run.
Result<SpecScanParameters> parseSpecScanArguments(int argc, char** argv);

// The whole SpecScan program: from the command line to SpecScan.txt.
// Returns the exit status; fatal errors end the process.
int runSpecScan(int argc, char** argv);

}  // namespace sonvola
