#include "specscan/peaks.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "common/peakfile.h"
#include "specscan/rates.h"
#include "specscan/vec4.h"

namespace sonvola {

int64_t highestLevelBinNeeded(int64_t nfft) {
    // The last candidate p satisfies p <= Nfft/2 - 1 and puts its upper
    // neighbour p + 1 at or below kHighestPeakNeighbourHz; that neighbour is
    // the last level read.
    int64_t last = nfft / 2 - 1;
    while (last >= 1 && binFrequencyHz(static_cast<double>(last + 1), static_cast<double>(nfft)) >
                            kHighestPeakNeighbourHz) {
        --last;
    }
    return std::max<int64_t>(last + 1, 1);
}

namespace {

// The levels of the peaks go to the extremes at once, or to a list.
struct LevelList {
    std::vector<double>& levels;
    void add(double l) { levels.push_back(l); }
};

// recordPeak for either kind of level sink.
template <typename Levels>
void recordPeakTo(const double* re, const double* im, int64_t p, double l, double nfftD,
                  std::string& record, Levels& extremes) {
    const double dr = re[p] - re[p - 1];
    const double di = im[p] - im[p - 1];
    const double q = static_cast<double>(p - 1) + (re[p] * dr + im[p] * di) / (dr * dr + di * di);
    const double f = binFrequencyHz(q, nfftD);
    extremes.add(l);
    if (std::isnan(f) || f == -1.0) return;
    appendPair(record, f, l);
}

}  // namespace

void recordPeak(const double* re, const double* im, int64_t p, double level, int64_t nfft,
                std::string& record, LevelExtremes& extremes) {
    recordPeakTo(re, im, p, level, static_cast<double>(nfft), record, extremes);
}

namespace {

// Margins of the quick decisions on squared magnitudes. The computed level
// 20 log10(sqrt(m)) is within a few units in the last place of 10 log10(m);
// magnitudes apart by more than these relative margins give levels apart by
// far more than that, so the quick answer is the exact answer.
constexpr double kCloseRatio = 1e-9;
constexpr double kTenDbLow = 10.0 * (1.0 - kCloseRatio);
constexpr double kTenDbHigh = 10.0 * (1.0 + kCloseRatio);

double levelOf(double re, double im) {
    return 20.0 * std::log10(std::sqrt(re * re + im * im));
}

}  // namespace

namespace {

// m[j] = re[j]^2 + im[j]^2 for j < count. Built for AVX2 and for any x86-64
// (the same operations either way).
__attribute__((target_clones("avx2", "default"))) void squaredMagnitudes(const double* re,
                                                                         const double* im,
                                                                         int64_t count, double* m) {
    for (int64_t j = 0; j < count; ++j) m[j] = re[j] * re[j] + im[j] * im[j];
}

// Lists the bins p = 1 .. top - 1 that are not clearly below 10 dB and not
// clearly below a neighbour (NaNs are listed), four bins at a time; returns
// how many. m holds top + 1 squared magnitudes.
__attribute__((target_clones("avx2", "default"))) size_t listPeakCandidates(const double* m,
                                                                            int64_t top,
                                                                            int32_t* list) {
    const double below = 1.0 - kCloseRatio;
    size_t count = 0;
    int64_t p = 1;
    for (; p + 4 <= top; p += 4) {
        const V4 a = SONVOLA_LOAD4(m + p);
        const M4 rejected = (a < kTenDbLow) | (a < SONVOLA_LOAD4(m + p - 1) * below) |
                            (a < SONVOLA_LOAD4(m + p + 1) * below);
        if ((rejected[0] & rejected[1] & rejected[2] & rejected[3]) != 0) continue;
        for (int lane = 0; lane < 4; ++lane) {
            list[count] = static_cast<int32_t>(p + lane);
            count += rejected[lane] ? 0 : 1;
        }
    }
    for (; p < top; ++p) {
        const double a = m[p];
        const bool rejected = (a < kTenDbLow) | (a < m[p - 1] * below) | (a < m[p + 1] * below);
        list[count] = static_cast<int32_t>(p);
        count += rejected ? 0 : 1;
    }
    return count;
}

}  // namespace

namespace {

template <typename Levels>
void pickPeaksFrom(const double* re, const double* im, int64_t nfft, std::string& record,
                   Levels& extremes, std::vector<double>& m) {
    if (!(nfft / 2 > 1)) return;
    const int64_t top = highestLevelBinNeeded(nfft);
    m.resize(static_cast<size_t>(top + 1));
    squaredMagnitudes(re, im, top + 1, m.data());
    // l >= neighbour's level, decided on magnitudes where they are clearly
    // apart; only a near tie computes the two levels.
    auto notBelow = [&](int64_t p, int64_t q, auto&& levelOfP) {
        const double a = m[static_cast<size_t>(p)], b = m[static_cast<size_t>(q)];
        if (a > b * (1.0 + kCloseRatio)) return true;
        if (a < b * (1.0 - kCloseRatio)) return false;
        return levelOfP() >= levelOf(re[q], im[q]);
    };
    const double nfftD = static_cast<double>(nfft);
    const double* mm = m.data();
    // Bins 1 .. top - 1 pass the frequency test (top is the last level read).
    // Most bins are clearly below 10 dB or clearly below a neighbour; a quick
    // pass lists the others (a NaN is listed: the exact tests below reject it).
    thread_local std::vector<int32_t> candidates;
    candidates.resize(static_cast<size_t>(top));
    int32_t* list = candidates.data();
    const size_t count = listPeakCandidates(mm, top, list);
    for (size_t c = 0; c < count; ++c) {
        const int64_t p = list[c];
        const double mp = mm[p];
        double l = 0.0;
        if (!(mp > kTenDbHigh)) {
            l = levelOf(re[p], im[p]);
            if (!(l >= 10.0)) continue;
        }
        // The level itself only where a comparison or the record needs it.
        bool haveLevel = !(mp > kTenDbHigh);
        auto level = [&] {
            if (!haveLevel) {
                l = levelOf(re[p], im[p]);
                haveLevel = true;
            }
            return l;
        };
        const double a = mp, b1 = m[static_cast<size_t>(p - 1)], b2 = m[static_cast<size_t>(p + 1)];
        const bool quickLower = a > b1 * (1.0 + kCloseRatio);
        const bool quickUpper = a > b2 * (1.0 + kCloseRatio);
        if (!quickLower && !notBelow(p, p - 1, level)) continue;
        if (!quickUpper && !notBelow(p, p + 1, level)) continue;
        level();
        recordPeakTo(re, im, p, l, nfftD, record, extremes);
    }
}

}  // namespace

void pickPeaksFromSpectrum(const double* re, const double* im, int64_t nfft, std::string& record,
                           LevelExtremes& extremes, std::vector<double>& scratch) {
    pickPeaksFrom(re, im, nfft, record, extremes, scratch);
}

void pickPeaksFromSpectrum(const double* re, const double* im, int64_t nfft, std::string& record,
                           std::vector<double>& levels, std::vector<double>& scratch) {
    LevelList list{levels};
    pickPeaksFrom(re, im, nfft, record, list, scratch);
}

}  // namespace sonvola
