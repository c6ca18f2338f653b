#include "specscan/peaks.h"

#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "common/console.h"
#include "common/fileptr.h"
#include "common/noteindex.h"
#include "common/outputfile.h"
#include "common/peakfile.h"
#include "specscan/vec4.h"

namespace sonvola {

int64_t highestLevelBinNeeded(int64_t nfft) {
    // The last candidate p satisfies (p + 1) * 11025 / Nfft <= 5500 and
    // p <= Nfft/2 - 1; its upper neighbour p + 1 is the last level read.
    int64_t last = nfft / 2 - 1;
    while (last >= 1 &&
           static_cast<double>(last + 1) * 11025.0 / static_cast<double>(nfft) > 5500.0) {
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

// A peak at bin p of level l: its frequency from the complex values of bins
// p - 1 and p (the real-valued form of Re{X[p] / (X[p] - X[p - 1])}), the
// extremes, and the pair unless the frequency is not a number.
template <typename Levels>
void recordPeak(const double* re, const double* im, int64_t p, double l, double nfftD,
                std::string& record, Levels& extremes) {
    const double dr = re[p] - re[p - 1];
    const double di = im[p] - im[p - 1];
    const double q = static_cast<double>(p - 1) + (re[p] * dr + im[p] * di) / (dr * dr + di * di);
    const double f = q * 11025.0 / nfftD;
    extremes.add(l);
    if (std::isnan(f) || f == -1.0) return;
    appendFixed2(record, f);
    appendFixed2(record, l);
}

}  // namespace

void pickPeaks(const double* re, const double* im, const double* level, int64_t nfft,
               std::string& record, LevelExtremes& extremes) {
    if (!(nfft / 2 > 1)) return;
    const double nfftD = static_cast<double>(nfft);
    for (int64_t p = 1; p <= nfft / 2 - 1; ++p) {
        // The frequency test comes first here: it fails for every later bin
        // too, and the levels above the last candidate are not computed.
        if (!(static_cast<double>(p + 1) * 11025.0 / nfftD <= 5500.0)) break;
        const double l = level[p];
        if (!(l >= 10.0)) continue;
        if (!(l >= level[p - 1] && l >= level[p + 1])) continue;
        recordPeak(re, im, p, l, nfftD, record, extremes);
    }
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
        recordPeak(re, im, p, l, nfftD, record, extremes);
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

int64_t shortTermDistance(int64_t frameLength, int64_t frameShiftMs, int64_t frameRate) {
    if (frameRate == 0) return 0;
    int64_t d = (frameLength - 11 * frameShiftMs) / (11 * frameRate);
    return d > 0 ? d : 0;
}

EstimationResult shortTermEstimation(const std::string& path, int64_t frameLength,
                                     int64_t frameShiftMs, const std::string& outputPath) {
    const std::string& target = outputPath.empty() ? path : outputPath;
    EstimationResult result;
    PeakFileHeader header = readPeakHeader(path);
    FilePtr in(std::fopen(path.c_str(), "rb"));
    if (!in) {
        result.status = EstimationStatus::CannotOpen;
        result.message = format("err: Cannot open file:%s\n", path.c_str());
        return result;
    }
    // The rewritten list goes to a temporary file beside the target and
    // replaces it once complete: the list is read as a stream, holding only
    // the d + 1 records the comparison needs, so memory does not grow with
    // the recording.
    OutputFile out;
    std::string outError;
    out.open(target, outError);
    std::FILE* o = out.get();

    const int64_t d = shortTermDistance(frameLength, frameShiftMs, header.frameRate);
    const int64_t frameRate = header.frameRate;
    PeakRecordReader reader(in.get());
    // Records k .. k + d in slots k mod (d + 1), with the semitone of every pair.
    const size_t slots = static_cast<size_t>(d) + 1;
    std::vector<PeakRecord> ring(slots);
    std::vector<std::vector<int16_t>> ringNotes(slots);
    int64_t loaded = 0;  // records read so far
    bool ended = false;  // no more records (end of list or an error)
    auto ensure = [&](int64_t k) {
        while (!ended && loaded <= k) {
            const size_t slot = static_cast<size_t>(loaded % static_cast<int64_t>(slots));
            if (!reader.next(ring[slot])) {
                ended = true;
                break;
            }
            const auto& freqs = ring[slot].freqs;
            ringNotes[slot].resize(freqs.size());
            for (size_t j = 0; j < freqs.size(); ++j) ringNotes[slot][j] = noteIndex(freqs[j]);
            ++loaded;
        }
    };
    static const PeakRecord kNoRecord;
    static const std::vector<int16_t> kNoNotes;

    std::string line;
    if (o) {
        writeRewrittenLine1(o, header.maxdB, header.mindB);
        writeHeaderLines2to4(o, header.frameRate, header.loopCount, header.signalName);
        for (int64_t r = 1; r <= d; ++r) {
            line = format("%lld: end\n", static_cast<long long>(r * frameRate));
            std::fputs(line.c_str(), o);
        }
        for (int64_t i = 0; i < static_cast<int64_t>(header.loopCount) - d; ++i) {
            ensure(i + d);
            if (ended && reader.result().status != PeakReadStatus::Ok) break;
            const size_t sa = static_cast<size_t>(i % static_cast<int64_t>(slots));
            const size_t sb = static_cast<size_t>((i + d) % static_cast<int64_t>(slots));
            const PeakRecord& a = i < loaded ? ring[sa] : kNoRecord;
            const PeakRecord& b = i + d < loaded ? ring[sb] : kNoRecord;
            const auto& na = i < loaded ? ringNotes[sa] : kNoNotes;
            const auto& nb = i + d < loaded ? ringNotes[sb] : kNoNotes;
            line.clear();
            line += format("%lld: ", static_cast<long long>((i + d + 1) * frameRate));
            for (size_t j = 0; j < a.freqs.size(); ++j) {
                for (size_t k = 0; k < b.freqs.size(); ++k) {
                    if (na[j] == nb[k] && std::fabs(static_cast<double>(a.levels[j]) -
                                                    static_cast<double>(b.levels[k])) < 8.0) {
                        appendFixed2(line, a.freqs[j]);
                        appendFixed2(line, a.levels[j]);
                    }
                }
            }
            line += "end\n";
            std::fwrite(line.data(), 1, line.size(), o);
        }
    }
    // The rest of the list is still read: a list that is cut short or broken
    // anywhere is refused, and the list is left as it was.
    PeakRecord rest;
    while (!ended && reader.next(rest)) {
    }
    if (reader.result().status != PeakReadStatus::Ok) {
        out.discard();
        result.status = EstimationStatus::ReadFailed;
        result.message = describePeakReadError(reader.result(), path);
        return result;
    }
    in.reset();
    if (!o) {
        result.status = EstimationStatus::CannotCreate;
        result.message = format("cannot open! %s\n%s\n", target.c_str(), outError.c_str());
        return result;
    }
    writeEndOfFile(o);
    if (!out.commit(outError)) {
        result.status = EstimationStatus::CannotCreate;
        result.message = "err: " + outError + "\n";
    }
    return result;
}

}  // namespace sonvola
