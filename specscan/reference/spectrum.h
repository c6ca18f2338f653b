// The frame analysis in its plain form, for the tests and the benchmarks:
// SpecScan runs Window, SpectrumFft::transformFrame and
// pickPeaksFromSpectrum, which give the same numbers.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "common/status.h"
#include "specscan/peaks.h"

namespace sonvola {

// Deliberate reference version of Window: multiplies the first N values of
// `real` by the named window; false for an unknown name or N < 2.
bool applyWindow(std::span<double> real, int n, const std::string& name);

// Deliberate reference version of SpectrumFft::transformFrame: the general
// transform (SpectrumFft::transform) through one table set per thread.
Status spectrumFft(int64_t size, double* re, double* im);

// Deliberate reference version of the levels pickPeaksFromSpectrum
// computes: level[j] = 20 log10(sqrt(re^2 + im^2)) for j < count.
void levelsDb(const double* re, const double* im, double* level, int64_t count);

// Deliberate reference version of pickPeaksFromSpectrum: the same peaks
// from the array of levels (levelsDb up to highestLevelBinNeeded(nfft)).
void pickPeaks(const double* re, const double* im, const double* level, int64_t nfft,
               std::string& record, LevelExtremes& extremes);

}  // namespace sonvola
