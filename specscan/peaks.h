// Peak picking with the fine frequency estimate.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonvola {

struct LevelExtremes {
    double maxdB = -1000.0;
    double mindB = 1000.0;
    // Takes the level of a peak. A level that raises the maximum is not
    // also compared with the minimum, so the result depends on the order of
    // the levels: frames analysed apart give theirs in frame order.
    void add(double level) {
        if (level > maxdB) {
            maxdB = level;
        } else if (level < mindB) {
            mindB = level;
        }
    }
};

// Highest bin whose level peak picking can read (the upper neighbour of the
// last bin that may be a peak); levels above it need not be computed.
int64_t highestLevelBinNeeded(int64_t nfft);

// A peak at bin p of level `level`: its frequency from the complex values of
// bins p - 1 and p (the real-valued form of Re{X[p] / (X[p] - X[p - 1])}),
// the level to the extremes, and the pair appended to `record` unless the
// frequency is not a number.
void recordPeak(const double* re, const double* im, int64_t p, double level, int64_t nfft,
                std::string& record, LevelExtremes& extremes);

// Appends the pairs of one frame's peaks to `record` and updates the
// extremes. A peak is a bin p (1 <= p <= Nfft/2 - 1) whose level
// 20 log10(sqrt(re^2 + im^2)) is at least 10 dB and not below either
// neighbour's, and whose upper neighbour lies at or below
// kHighestPeakNeighbourHz; recordPeak gives its pair. The tests are made on
// squared magnitudes, which order the same way, and a level is computed only
// for a peak that is written or where two magnitudes are so close that
// rounding could decide. `scratch` is reused between frames.
void pickPeaksFromSpectrum(const double* re, const double* im, int64_t nfft, std::string& record,
                           LevelExtremes& extremes, std::vector<double>& scratch);

// The same, the level of each peak appended to `levels` in the order the
// extremes would take them (LevelExtremes::add), for a frame analysed apart
// from the others.
void pickPeaksFromSpectrum(const double* re, const double* im, int64_t nfft, std::string& record,
                           std::vector<double>& levels, std::vector<double>& scratch);

}  // namespace sonvola
