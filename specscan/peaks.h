// Peak picking with the fine frequency estimate, and the short-term
// estimation that keeps the peaks confirmed d frames later.
#pragma once

#include <cstdint>
#include <cstdio>
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

// Appends the "%0.2f %0.2f " pairs of one frame's peaks to `record` and
// updates the extremes. A peak is a bin p (1 <= p <= Nfft/2 - 1) of at least
// 10 dB, not below either neighbour, whose upper neighbour lies at or below
// 5500 Hz; its frequency comes from the complex values of bins p - 1 and p.
void pickPeaks(const double* re, const double* im, const double* level, int64_t nfft,
               std::string& record, LevelExtremes& extremes);

// The same peaks as pickPeaks, from the spectrum alone: the tests on levels
// are made on squared magnitudes, which order the same way, and a level is
// computed (20 log10 of the magnitude, exactly as the level array holds it)
// only for a peak that is written or where two magnitudes are so close that
// rounding could decide. `scratch` is reused between frames.
void pickPeaksFromSpectrum(const double* re, const double* im, int64_t nfft, std::string& record,
                           LevelExtremes& extremes, std::vector<double>& scratch);

// The same, the level of each peak appended to `levels` in the order the
// extremes would take them (LevelExtremes::add), for a frame analysed apart
// from the others.
void pickPeaksFromSpectrum(const double* re, const double* im, int64_t nfft, std::string& record,
                           std::vector<double>& levels, std::vector<double>& scratch);

// Frame distance of the short-term estimation:
// trunc((N - 11 s) / (11 FrameRate)), never negative, 0 when FrameRate is 0.
int64_t shortTermDistance(int64_t frameLength, int64_t frameShiftMs, int64_t frameRate);

enum class EstimationStatus { Ok, CannotOpen, ReadFailed, CannotCreate };

struct EstimationResult {
    EstimationStatus status = EstimationStatus::Ok;
    std::string message;  // for the failures
};

// Rewrites the peak list at `path` into `outputPath` (default: `path`
// itself), keeping the pairs of record i that recur at the same semitone
// within 8 dB in record i + d, dated d frames later. The output is replaced
// only once complete; a list found broken leaves it as it was.
EstimationResult shortTermEstimation(const std::string& path, int64_t frameLength,
                                     int64_t frameShiftMs, const std::string& outputPath = {});

}  // namespace sonvola
