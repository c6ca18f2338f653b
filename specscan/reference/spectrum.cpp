#include "specscan/reference/spectrum.h"

#include <cmath>

#include "specscan/rates.h"
#include "specscan/spectrum.h"

namespace sonvola {

bool applyWindow(std::span<double> real, int n, const std::string& name) {
    auto kind = parseWindowName(name);
    if (!kind || n < 2 || static_cast<size_t>(n) > real.size()) return false;
    Window(*kind, n).apply(real.first(static_cast<size_t>(n)));
    return true;
}

Status spectrumFft(int64_t size, double* re, double* im) {
    thread_local SpectrumFft fft;
    return fft.transform(size, re, im);
}

void levelsDb(const double* re, const double* im, double* level, int64_t count) {
    for (int64_t j = 0; j < count; ++j) {
        level[j] = 20.0 * std::log10(std::sqrt(re[j] * re[j] + im[j] * im[j]));
    }
}

void pickPeaks(const double* re, const double* im, const double* level, int64_t nfft,
               std::string& record, LevelExtremes& extremes) {
    if (!(nfft / 2 > 1)) return;
    const double nfftD = static_cast<double>(nfft);
    for (int64_t p = 1; p <= nfft / 2 - 1; ++p) {
        // The frequency test comes first here: it fails for every later bin
        // too, and the levels above the last candidate are not computed.
        if (!(binFrequencyHz(static_cast<double>(p + 1), nfftD) <= kHighestPeakNeighbourHz)) break;
        const double l = level[p];
        if (!(l >= 10.0)) continue;
        if (!(l >= level[p - 1] && l >= level[p + 1])) continue;
        recordPeak(re, im, p, l, nfft, record, extremes);
    }
}

}  // namespace sonvola
