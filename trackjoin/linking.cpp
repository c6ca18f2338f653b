#include "trackjoin/linking.h"

#include <cmath>
#include <limits>
#include <vector>

namespace sonvola {

namespace {

// |trunc(x)|: through a 64-bit integer where x fits one (an exact truncation
// without a library call on processors lacking a rounding instruction; only
// the sign of a zero could differ, and the absolute value removes it).
inline double truncatedMagnitude(double x) {
    if (std::fabs(x) < 9.0e18) return std::fabs(static_cast<double>(static_cast<int64_t>(x)));
    return std::fabs(std::trunc(x));
}

}  // namespace

double connectionCost(float freqA, float levelA, float freqB, float levelB) {
    const double dL = static_cast<double>(levelA) - static_cast<double>(levelB);
    const double dF = static_cast<double>(freqA) - static_cast<double>(freqB);
    return truncatedMagnitude(dL) + truncatedMagnitude(dF);
}

namespace {

struct Member {
    float freq;
    float level;
    int64_t frame;
    int32_t index;
};

// Lowest cost from (freq, level) to the pairs of `next`; the lowest index wins
// among equal costs. 1000 when `next` has no pairs.
//
// The callers only ask whether the lowest cost is below, at or above 10 and
// use the index only when it is at most 10. A pair 11 Hz or more away costs at
// least 11 (its truncated frequency difference alone), so it is passed over
// without computing its cost: the answer stays the same whenever the lowest
// cost is at most 10 (every pair that ties with it is near), and stays above
// 10 otherwise.
double bestLink(float freq, float level, const PeakRecord& next, int32_t& bestIndex) {
    double best = 1000.0;
    const double f = static_cast<double>(freq);
    for (int32_t q = 0; q < next.count(); ++q) {
        if (std::fabs(f - static_cast<double>(next.freqs[static_cast<size_t>(q)])) >= 11.0) {
            continue;
        }
        const double c = connectionCost(freq, level, next.freqs[static_cast<size_t>(q)],
                                        next.levels[static_cast<size_t>(q)]);
        if (c < best) {
            best = c;
            bestIndex = q;
        }
    }
    return best;
}

}  // namespace

LinkCounts linkPeaks(PeakTable& table, int32_t frameRate, int32_t loopCount, std::FILE* out,
                     std::FILE* err) {
    LinkCounts counts;
    const int64_t records = table.size();
    std::vector<Member> members;
    std::vector<float> freqs, levels;
    for (int64_t i = 0; i + 1 < records; ++i) {
        const int32_t startCount = table.count(i);
        if (startCount > counts.maxPeaks) counts.maxPeaks = startCount;
        for (int32_t p = 0; p < startCount; ++p) {
            int32_t ignored = 0;
            const PeakRecord& start = table.at(i);
            if (!(bestLink(start.freqs[static_cast<size_t>(p)],
                           start.levels[static_cast<size_t>(p)], table.at(i + 1),
                           ignored) < 10.0)) {
                continue;
            }
            // Build the lump from (i, p).
            members.clear();
            int64_t k = i;
            int32_t candidate = p;
            for (;;) {
                const PeakRecord& rec = table.at(k);
                const float f = rec.freqs[static_cast<size_t>(candidate)];
                const float l = rec.levels[static_cast<size_t>(candidate)];
                if (f == 0.0f) break;
                if (k + 1 >= loopCount) break;
                int32_t next = 0;
                const double best = bestLink(f, l, table.at(k + 1), next);
                members.push_back({f, l, k, candidate});
                if (best > 10.0) break;
                ++k;
                candidate = next;
            }
            if (members.empty()) continue;
            freqs.clear();
            levels.clear();
            for (const Member& m : members) {
                freqs.push_back(m.freq);
                levels.push_back(m.level);
            }
            writeRecord(out, i * frameRate, freqs.data(), levels.data(), freqs.size());
            for (const Member& m : members) {
                PeakRecord& used = table.records[static_cast<size_t>(m.frame)];
                used.freqs[static_cast<size_t>(m.index)] = 0.0f;
                used.levels[static_cast<size_t>(m.index)] = 0.0f;
            }
            ++counts.lumps;
        }
    }
    std::fprintf(err, "\n\tThe number of the maximum peaks per frame     = %d", counts.maxPeaks);
    std::fprintf(err, "\n\tThe number of the lumps which connected peaks = %d\n", counts.lumps);
    writeEndOfFile(out);
    return counts;
}

int32_t shortestPeakMs(double tempo, double noteValue) {
    const double ms = (60000.0 / tempo) / noteValue * 4.0;
    if (!(ms < 2147483647.0)) return std::numeric_limits<int32_t>::max();
    if (!(ms > -2147483648.0)) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(ms);
}

namespace {

// Appends lump t to lump s across a gap of U entries, each stepping from the
// value appended just before it toward t's first entry.
void mergeInto(PeakRecord& s, PeakRecord& t, int64_t u) {
    const double targetF = t.freqs.front();
    const double targetL = t.levels.front();
    s.freqs.reserve(s.freqs.size() + static_cast<size_t>(u) + t.freqs.size());
    s.levels.reserve(s.levels.size() + static_cast<size_t>(u) + t.levels.size());
    for (int64_t j = 0; j < u; ++j) {
        const double prevF = s.freqs.back();
        const double prevL = s.levels.back();
        const double jd = static_cast<double>(j);
        const double ud = static_cast<double>(u);
        s.freqs.push_back(static_cast<float>(prevF - (prevF - targetF) * jd / ud));
        s.levels.push_back(static_cast<float>(prevL - (prevL - targetL) * jd / ud));
    }
    s.freqs.insert(s.freqs.end(), t.freqs.begin(), t.freqs.end());
    s.levels.insert(s.levels.end(), t.levels.begin(), t.levels.end());
    t.freqs = {};
    t.levels = {};
}

// One sweep. With `ordered` the scan for s stops at the first later lump that
// starts too late to merge: labels never decrease, so no later lump can.
int64_t sweep(PeakTable& lumps, int32_t frameRate, int32_t shortestMs, bool ordered) {
    int64_t merges = 0;
    auto& recs = lumps.records;
    const int64_t b = static_cast<int64_t>(recs.size());
    for (int64_t s = 0; s + 1 < b; ++s) {
        if (recs[static_cast<size_t>(s)].count() == 0) continue;
        for (int64_t t = s + 1; t < b; ++t) {
            PeakRecord& rs = recs[static_cast<size_t>(s)];
            PeakRecord& rt = recs[static_cast<size_t>(t)];
            const int64_t u = static_cast<int64_t>(rt.label) - rs.label - rs.count() + 1;
            const int64_t gapMs = u * frameRate;
            // A negative product never counts as short. Without a frame shift
            // the gap has no length in time, and a gap of more than
            // kMaxBridgeEntries frames is no gap within a note: neither is
            // bridged (either would append that many entries).
            const bool shortGap =
                frameRate > 0 && gapMs >= 0 && gapMs < shortestMs && u <= kMaxBridgeEntries;
            if (!shortGap) {
                if (ordered && u >= 1 && frameRate > 0) break;
                continue;
            }
            if (u < 1) continue;
            if (rt.count() == 0) continue;
            const double c = connectionCost(rs.freqs.back(), rs.levels.back(), rt.freqs.front(),
                                            rt.levels.front());
            if (!(c < 15.0)) continue;
            mergeInto(rs, rt, u);
            ++merges;
        }
    }
    return merges;
}

bool labelsInOrder(const PeakTable& lumps) {
    for (size_t i = 1; i < lumps.records.size(); ++i) {
        if (lumps.records[i].label < lumps.records[i - 1].label) return false;
    }
    return true;
}

int64_t sweepUntilStable(PeakTable& lumps, int32_t frameRate, int32_t shortestMs, bool ordered,
                         std::FILE* console) {
    int64_t total = 0;
    for (;;) {
        const int64_t merges = sweep(lumps, frameRate, shortestMs, ordered);
        std::fprintf(console, "\tAmended %lld times\n", static_cast<long long>(merges));
        total += merges;
        if (merges == 0) return total;
    }
}

}  // namespace

int64_t amendLumps(PeakTable& lumps, int32_t frameRate, int32_t shortestMs, std::FILE* console) {
    return sweepUntilStable(lumps, frameRate, shortestMs, labelsInOrder(lumps), console);
}

int64_t amendLumpsFullScan(PeakTable& lumps, int32_t frameRate, int32_t shortestMs,
                           std::FILE* console) {
    return sweepUntilStable(lumps, frameRate, shortestMs, false, console);
}

int64_t writeStrongLumps(const PeakTable& lumps, float maxdB, float mindB, std::FILE* out) {
    const float sum = mindB + maxdB;
    const double threshold = static_cast<double>(sum) * 0.5;
    int64_t written = 0;
    for (const PeakRecord& r : lumps.records) {
        float maxLevel = -1000.0f;
        for (float l : r.levels) {
            if (l > maxLevel) maxLevel = l;
        }
        if (r.count() > 0 && static_cast<double>(maxLevel) >= threshold) {
            writeRecord(out, r.label, r.freqs.data(), r.levels.data(), r.freqs.size());
            ++written;
        }
    }
    writeEndOfFile(out);
    return written;
}

}  // namespace sonvola
