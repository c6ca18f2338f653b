// The rate the analysis runs at, and the frequencies tied to it.
#pragma once

namespace sonvola {

// Every recording is analysed at this rate (brought down to it when faster).
inline constexpr double kAnalysisRateHz = 11025.0;
inline constexpr double kAnalysisSamplesPerMs = kAnalysisRateHz / 1000.0;  // 11.025
static_assert(kAnalysisSamplesPerMs == 11.025);

// The highest frequency a peak's upper neighbour bin may have: just below
// half the analysis rate (5512.5 Hz).
inline constexpr double kHighestPeakNeighbourHz = 5500.0;

// The frequency of bin position `bin` (fractional for a refined peak) of a
// transform of `nfft` points at the analysis rate.
inline double binFrequencyHz(double bin, double nfft) {
    return bin * kAnalysisRateHz / nfft;
}

}  // namespace sonvola
