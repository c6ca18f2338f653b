// Cost-minimum linking of the peaks of successive frames into lumps, and the
// amendment pass that merges close lumps and drops weak ones.
#pragma once

#include <cstdint>
#include <cstdio>

#include "common/peakfile.h"

namespace sonvola {

// |trunc(level a - level b)| + |trunc(freq a - freq b)|, the differences taken
// exactly (in double) from the single-precision values.
double connectionCost(float freqA, float levelA, float freqB, float levelB);

struct LinkCounts {
    int32_t maxPeaks = 0;  // largest pair count of a start record
    int32_t lumps = 0;     // lumps written
};

// Links the peaks of `table` (record r = frame r) into lumps and writes each
// lump as a record labelled with its start record index times `frameRate`.
// A lump starts where the best link to the next frame costs below 10 and
// grows while the best link costs at most 10; used peaks are emptied (set to
// 0.0) in the table. Prints the two counts on `err` and writes "end_of_file".
LinkCounts linkPeaks(PeakTable& table, int32_t frameRate, int32_t loopCount, std::FILE* out,
                     std::FILE* err);

// Shortest peak time in ms: trunc((60000 / tempo) / noteValue * 4), limited
// to the int32 range.
int32_t shortestPeakMs(double tempo, double noteValue);

// The longest gap, in frames, that the amendment pass bridges (100 s of 10 ms
// frames); a longer one is never within one note.
inline constexpr int64_t kMaxBridgeEntries = 10000;

// One sweep's merging rule and the repeated sweeps: lump t merges into an
// earlier lump s when it starts U frames after s ends (1 <= U and
// U * frameRate < shortestMs) and the joint cost is below 15; the gap is
// bridged with U interpolated entries. Prints "\tAmended %d times\n" per sweep
// on `console`. Returns the number of merges in all.
int64_t amendLumps(PeakTable& lumps, int32_t frameRate, int32_t shortestMs, std::FILE* console);

// The same sweeps comparing every lump with every later one; the result is
// the same. Used when the labels are not in order, and by the tests.
int64_t amendLumpsFullScan(PeakTable& lumps, int32_t frameRate, int32_t shortestMs,
                           std::FILE* console);

// Writes the lumps with entries whose loudest level reaches the mean of
// MaxdB and MindB, then "end_of_file". Returns the number written.
int64_t writeStrongLumps(const PeakTable& lumps, float maxdB, float mindB, std::FILE* out);

}  // namespace sonvola
