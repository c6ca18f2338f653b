#include "tools/evidence.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <system_error>
#include <thread>

#include "common/fileptr.h"
#include "common/noteindex.h"

namespace sonvola {

double keyHz(int key) {
    return 440.0 * std::pow(2.0, (key - 69) / 12.0);
}

SpectralEvidence::SpectralEvidence(PeakTable frames, const PeakTable& tracks, int32_t frameMs)
    : frames_(std::move(frames)), frameMs_(frameMs > 0 ? frameMs : 10) {
    for (const PeakRecord& r : tracks.records) {
        if (r.count() == 0) continue;
        double sum = 0.0;
        for (float f : r.freqs) sum += f;
        Track t;
        t.startMs = r.label;
        t.key = noteIndex(sum / r.count()) + 24;
        t.levels = r.levels;
        t.freqs = r.freqs;
        tracks_.push_back(std::move(t));
    }
    std::stable_sort(tracks_.begin(), tracks_.end(),
                     [](const Track& a, const Track& b) { return a.startMs < b.startMs; });
    if (!frames_.records.empty()) endMs_ = int64_t{frames_.records.back().label} + frameMs_;
    for (size_t i = 1; i < frames_.records.size() && labelsRising_; ++i) {
        labelsRising_ = frames_.records[i - 1].label <= frames_.records[i].label;
    }
    sortedFrames_.reserve(frames_.records.size());
    for (const PeakRecord& r : frames_.records) {
        const size_t n = std::min(r.freqs.size(), r.levels.size());
        bool sorted = static_cast<size_t>(std::max(0, r.count())) <= n;
        for (size_t p = 1; sorted && p < n; ++p) sorted = r.freqs[p - 1] <= r.freqs[p];
        sortedFrames_.push_back(sorted);
    }
    for (const Track& t : tracks_) {
        endMs_ = std::max(endMs_, t.startMs + static_cast<int64_t>(t.levels.size()) * frameMs_);
    }
    tracksOfKey_.resize(128);
    longestOfKey_.assign(128, 0);
    for (size_t i = 0; i < tracks_.size(); ++i) {
        const int key = tracks_[i].key;
        if (key < 0 || key >= 128) continue;
        tracksOfKey_[static_cast<size_t>(key)].push_back(i);
        longestOfKey_[static_cast<size_t>(key)] =
            std::max(longestOfKey_[static_cast<size_t>(key)],
                     static_cast<int64_t>(tracks_[i].levels.size()) * frameMs_);
    }
}

int64_t SpectralEvidence::frameIndex(int64_t ms) const {
    const auto& recs = frames_.records;
    if (recs.empty()) return -1;
    // Labels rise by the frame shift: the frame is where the shift puts
    // `ms` when the list has no gaps; otherwise a search settles it.
    const auto first = [&](size_t i) {  // the first record labelled `ms` or later
        return recs[i].label >= ms && (i == 0 || recs[i - 1].label < ms);
    };
    if (labelsRising_ && ms >= recs.front().label) {
        const int64_t guess = (ms - recs.front().label + frameMs_ - 1) / frameMs_;
        if (guess >= 0 && static_cast<size_t>(guess) < recs.size() &&
            first(static_cast<size_t>(guess))) {
            return recs[static_cast<size_t>(guess)].label - ms >= frameMs_ ? -1 : guess;
        }
    }
    auto it = std::lower_bound(recs.begin(), recs.end(), ms,
                               [](const PeakRecord& r, int64_t t) { return r.label < t; });
    if (it == recs.end()) return -1;
    if (it->label - ms >= frameMs_) return -1;
    return it - recs.begin();
}

float SpectralEvidence::levelAt(int64_t ms, double hz, double toleranceCents) const {
    return levelInFrame(frameIndex(ms), hz, toleranceCents);
}

float SpectralEvidence::levelInFrame(int64_t i, double hz, double toleranceCents) const {
    if (i < 0 || hz <= 0.0) return 0.0f;
    const PeakRecord& r = frames_.records[static_cast<size_t>(i)];
    // The two tolerances the rules use, computed once.
    static const double peakRatio = std::pow(2.0, kPeakToleranceCents / 1200.0);
    static const double sourceRatio = std::pow(2.0, kSourceToleranceCents / 1200.0);
    const double ratio = toleranceCents == kPeakToleranceCents ? peakRatio
                         : toleranceCents == kSourceToleranceCents
                             ? sourceRatio
                             : std::pow(2.0, toleranceCents / 1200.0);
    const double low = hz / ratio, high = hz * ratio;
    float best = 0.0f;
    size_t p = 0;
    const size_t n = static_cast<size_t>(r.count());
    if (sortedFrames_[static_cast<size_t>(i)]) {
        // Peaks by rising frequency (as SpecScan writes them): from the
        // first at `low` or above up to `high`.
        p = static_cast<size_t>(std::lower_bound(r.freqs.begin(),
                                                 r.freqs.begin() + static_cast<long>(n), low,
                                                 [](float f, double v) { return f < v; }) -
                                r.freqs.begin());
        for (; p < n && r.freqs[p] <= high; ++p) {
            if (r.freqs[p] >= low) best = std::max(best, r.levels[p]);
        }
        return best;
    }
    for (; p < n; ++p) {
        const double f = r.freqs[p];
        if (f >= low && f <= high) best = std::max(best, r.levels[p]);
    }
    return best;
}

float SpectralEvidence::meanLevel(int64_t fromMs, int64_t toMs, double hz) const {
    if (toMs < fromMs) return 0.0f;
    // Frames past the lists hold no peak: they count, but are not visited.
    const double n = static_cast<double>((toMs - fromMs) / frameMs_ + 1);
    double sum = 0.0;
    for (int64_t t = fromMs; t <= std::min(toMs, endMs_); t += frameMs_) sum += levelAt(t, hz);
    return static_cast<float>(sum / n);
}

std::array<float, kProfilePartials + 1> SpectralEvidence::partialLevels(int key, int64_t fromMs,
                                                                        int64_t toMs) const {
    const std::array<int64_t, 3> at{key, fromMs, toMs};
    if (auto it = profiles_.find(at); it != profiles_.end()) return it->second;
    // As meanLevel for each partial, with the span's frames found once.
    std::array<double, kProfilePartials + 1> sums{};
    const double f0 = keyHz(key);
    for (int64_t t = fromMs; t <= std::min(toMs, endMs_); t += frameMs_) {
        const int64_t frame = frameIndex(t);
        if (frame < 0) continue;
        for (int h = 1; h <= kProfilePartials; ++h) sums[h] += levelInFrame(frame, f0 * h);
    }
    std::array<float, kProfilePartials + 1> levels{};
    if (toMs >= fromMs) {
        const double n = static_cast<double>((toMs - fromMs) / frameMs_ + 1);
        for (int h = 1; h <= kProfilePartials; ++h) levels[h] = static_cast<float>(sums[h] / n);
    }
    profiles_.emplace(at, levels);
    return levels;
}

int64_t SpectralEvidence::partialRunEnd(double hz, int64_t onsetMs, int64_t limitMs) const {
    const auto mean = [&](int64_t from, int64_t to) {
        double sum = 0.0;
        int n = 0;
        for (int64_t t = from; t <= to; t += frameMs_, ++n) sum += levelAt(t, hz);
        return n == 0 ? 0.0 : sum / n;
    };
    if (mean(onsetMs, onsetMs + kAttackAfterMs) - mean(onsetMs - 40, onsetMs - 10) <
        kOwnAttackRiseDb) {
        return onsetMs;
    }
    int64_t last = onsetMs - frameMs_;
    int gap = 0;
    for (int64_t t = onsetMs; t < std::min(limitMs, endMs_); t += frameMs_) {
        if (levelAt(t, hz) > 0.0f) {
            last = t;
            gap = 0;
        } else if (++gap > kPartialRunGapFrames) {
            break;
        }
    }
    return last + frameMs_;
}

double SpectralEvidence::meanPitch(int key, int64_t fromMs, int64_t toMs) const {
    double sum = 0.0;
    int64_t n = 0;
    if (key < 0 || key >= 128) return std::nan("");
    forTracksNear(key, fromMs, toMs, [&](const Track& t) {
        for (size_t j = 0; j < t.freqs.size(); ++j) {
            const int64_t ms = t.startMs + static_cast<int64_t>(j) * frameMs_;
            if (ms < fromMs || ms >= toMs || !(t.freqs[j] > 0.0f)) continue;
            sum += 69.0 + 12.0 * std::log2(t.freqs[j] / 440.0);
            ++n;
        }
    });
    return n == 0 ? std::nan("") : sum / static_cast<double>(n);
}

int64_t SpectralEvidence::continuedEnd(int key, int64_t endMs, int64_t limitMs) const {
    for (bool longer = true; longer;) {
        longer = false;
        const std::vector<float> last = envelope(key, endMs - frameMs_, endMs - frameMs_);
        const float level = last.empty() ? 0.0f : last[0];
        forTracksNear(key, endMs - kHeldOverlapMs, endMs + kHeldGapMs, [&](const Track& t) {
            const int64_t end = t.startMs + static_cast<int64_t>(t.levels.size()) * frameMs_;
            if (longer || end <= endMs || t.startMs >= limitMs ||
                t.startMs < endMs - kHeldOverlapMs || t.startMs > endMs + kHeldGapMs) {
                return;
            }
            if (t.startMs >= endMs && level > 0.0f && t.levels[0] >= level + kOwnAttackRiseDb)
                return;
            if (std::min(end, limitMs) <= endMs) return;
            endMs = std::min(end, limitMs);
            longer = true;
        });
    }
    return endMs;
}

std::vector<float> SpectralEvidence::envelope(int key, int64_t fromMs, int64_t toMs) const {
    // Every track of `key` that can reach `fromMs` (none is longer than the
    // key's longest).
    const int64_t longest = key >= 0 && key < 128 ? longestOfKey_[static_cast<size_t>(key)] : 0;
    return envelopeOfTracksStarting(key, fromMs - longest, toMs, fromMs, toMs);
}

std::vector<float> SpectralEvidence::envelopeOfTracksStarting(int key, int64_t startFromMs,
                                                              int64_t startToMs, int64_t fromMs,
                                                              int64_t toMs,
                                                              int64_t* lastEndMs) const {
    std::vector<float> env;
    toMs = std::min(toMs, endMs_);
    if (toMs < fromMs) return env;
    env.assign(static_cast<size_t>((toMs - fromMs) / frameMs_ + 1), 0.0f);
    forTracksNear(key, startFromMs, startToMs, [&](const Track& t) {
        if (t.startMs < startFromMs || t.startMs > startToMs) return;
        const int64_t end = t.startMs + static_cast<int64_t>(t.levels.size()) * frameMs_;
        if (lastEndMs) *lastEndMs = std::max(*lastEndMs, end);
        for (size_t j = 0; j < t.levels.size(); ++j) {
            const int64_t ms = t.startMs + static_cast<int64_t>(j) * frameMs_;
            if (ms < fromMs || ms > toMs) continue;
            float& e = env[static_cast<size_t>((ms - fromMs) / frameMs_)];
            e = std::max(e, t.levels[j]);
        }
    });
    return env;
}

Result<std::unique_ptr<SpectralEvidence>> loadSpectralEvidence(const std::string& peaksPath,
                                                               const std::string& tracksPath) {
    PeakTable tables[2];
    const std::string* paths[2] = {&peaksPath, &tracksPath};
    FilePtr files[2];
    for (int i = 0; i < 2; ++i) {
        files[i].reset(std::fopen(paths[i]->c_str(), "rb"));
        if (!files[i]) {
            return Status::error("cannot open " + *paths[i] + ": " + std::strerror(errno));
        }
    }
    // The two lists are read side by side (the reading is most of the
    // refinement's time; one after the other when no thread can be
    // started); a fault is told for the peak list first.
    Status results[2];
    const auto read = [&](int i) {
        results[i] = readPeakRecords(files[i].get(), *paths[i], tables[i]);
    };
    try {
        std::thread tracks(read, 1);
        read(0);
        tracks.join();
    } catch (const std::system_error&) {
        read(0);
        read(1);
    }
    for (const Status& r : results) {
        if (!r) return r;
    }
    const PeakFileHeader header = readPeakHeader(peaksPath);
    if (header.frameRate <= 0) return Status::error(peaksPath + " does not name a frame shift");
    return std::make_unique<SpectralEvidence>(std::move(tables[0]), tables[1], header.frameRate);
}

bool soundsOnItsOwn(const SpectralEvidence& ev, const ScoreNote& lower, const ScoreNote& upper,
                    int partial) {
    if (partial < 2 || partial > kProfilePartials) return false;
    const int64_t from = std::max(lower.onsetMs, upper.onsetMs);
    const int64_t to = std::min({lower.offsetMs, upper.offsetMs, from + kDoublingWindowMs});
    if (to <= from) return false;
    const auto p = ev.partialLevels(lower.key, from, to);
    double multiples = 0.0, others = 0.0;
    int m = 0, o = 0;
    for (int h = 1; h <= kProfilePartials && h * keyHz(lower.key) < kProfileTopHz; ++h) {
        if (h % partial == 0) {
            multiples += p[static_cast<size_t>(h)];
            ++m;
        } else {
            others += p[static_cast<size_t>(h)];
            ++o;
        }
    }
    if (m == 0 || o == 0) return false;
    return multiples / m - others / o > kDoublingCombDb;
}

namespace {
int64_t findDoublingEntry(const SpectralEvidence& ev, const ScoreNote& lower,
                          const ScoreNote& upper, int partial);
}  // namespace

int64_t doublingEntry(const SpectralEvidence& ev, const ScoreNote& lower, const ScoreNote& upper,
                      int partial) {
    const std::array<int64_t, 7> key{lower.onsetMs,  lower.offsetMs, lower.key, upper.onsetMs,
                                     upper.offsetMs, upper.key,      partial};
    auto it = ev.entries_.find(key);
    if (it == ev.entries_.end()) {
        it = ev.entries_.emplace(key, findDoublingEntry(ev, lower, upper, partial)).first;
    }
    return it->second;
}

namespace {
int64_t findDoublingEntry(const SpectralEvidence& ev, const ScoreNote& lower,
                          const ScoreNote& upper, int partial) {
    if (partial < 2 || partial > kProfilePartials) return -1;
    const int64_t step = ev.frameMs();
    const int64_t from = std::max(lower.onsetMs + kEntryAfterMs, upper.onsetMs - kAttackAfterMs);
    // Nothing sounds past the lists; an entry is looked for in the first
    // kEntryScanMs the notes share.
    const int64_t to = std::min({lower.offsetMs - kAttackAfterMs, upper.offsetMs - kAttackAfterMs,
                                 ev.endMs() - kAttackAfterMs, from + kEntryScanMs});
    if (to < from) return -1;
    const double f0 = keyHz(lower.key);
    int top = 0;  // the highest partial in the band
    while (top < kProfilePartials && (top + 1) * f0 < kProfileTopHz) ++top;
    // The windows in frames: the 40 ms before a frame (up to 10 ms before
    // it) and the kAttackAfterMs from it.
    const int64_t before = std::max<int64_t>(1, 40 / step);
    const int64_t after = kAttackAfterMs / step + 1;
    // Each partial's level per frame from `before` frames before `from` to
    // `after` frames after `to`, as running sums (of levels and of frames
    // with a peak) so that every window's mean is one difference.
    const int64_t first = from - before * step;
    const int64_t count = (to - from) / step + 1;  // the frames tried
    const size_t frames = static_cast<size_t>(count + before + after);
    std::vector<std::vector<double>> running(static_cast<size_t>(top + 2),
                                             std::vector<double>(frames + 1, 0.0));
    std::vector<std::vector<int>> heardSum(static_cast<size_t>(top + 2),
                                           std::vector<int>(frames + 1, 0));
    std::vector<int64_t> frameOf(frames);  // the frames, found once
    for (size_t i = 0; i < frames; ++i)
        frameOf[i] = ev.frameIndex(first + static_cast<int64_t>(i) * step);
    std::vector<bool> filled(static_cast<size_t>(top + 2), false);
    const auto fill = [&](int h) {
        if (filled[static_cast<size_t>(h)]) return;
        filled[static_cast<size_t>(h)] = true;
        auto& s = running[static_cast<size_t>(h)];
        auto& c = heardSum[static_cast<size_t>(h)];
        for (size_t i = 0; i < frames; ++i) {
            const float l = ev.levelInFrame(frameOf[i], f0 * h);
            s[i + 1] = s[i] + l;
            c[i + 1] = c[i] + (l > 0.0f ? 1 : 0);
        }
    };
    // For the frame tried `j` (at from + j x step): the window before it and
    // the window from it, as [begin, end) indices of the running sums.
    const auto beforeOf = [&](int64_t j) {
        return std::pair<size_t, size_t>{static_cast<size_t>(j), static_cast<size_t>(j + before)};
    };
    const auto afterOf = [&](int64_t j) {
        return std::pair<size_t, size_t>{static_cast<size_t>(j + before),
                                         static_cast<size_t>(j + before + after)};
    };
    const auto mean = [&](int h, std::pair<size_t, size_t> w) {
        const auto& s = running[static_cast<size_t>(h)];
        return (s[w.second] - s[w.first]) / static_cast<double>(w.second - w.first);
    };
    const auto heard = [&](int h, std::pair<size_t, size_t> w) {
        const auto& c = heardSum[static_cast<size_t>(h)];
        return c[w.second] - c[w.first];
    };
    const auto rise = [&](int h, int64_t j) { return mean(h, afterOf(j)) - mean(h, beforeOf(j)); };
    // An entry needs a partial of the entering note that was not heard at
    // all before and is heard in at least half the frames after (a bow or a
    // breath lifts partials that sound already): the frames where one
    // appears, found first from those partials alone.
    for (int h = 2 * partial; h <= top; h += partial) fill(h);
    std::vector<bool> appearsAt(static_cast<size_t>(count), false);
    bool anywhere = false;
    for (int64_t j = 0; j < count; ++j) {
        bool appears = false;
        for (int h = 2 * partial; h <= top && !appears; h += partial) {
            appears = heard(h, beforeOf(j)) == 0 && 2 * heard(h, afterOf(j)) >= after;
        }
        appearsAt[static_cast<size_t>(j)] = appears;
        anywhere = anywhere || appears;
    }
    if (!anywhere) return -1;
    for (int h = 1; h <= top + 1; ++h) fill(h);
    int64_t best = -1;
    double bestRise = kEntryRiseDb;
    for (int64_t j = 0; j < count; ++j) {
        if (!appearsAt[static_cast<size_t>(j)]) {
            if (best >= 0) break;
            continue;
        }
        // How much more each multiple of k rises than its neighbours.
        double sum = 0.0;
        int n = 0;
        for (int h = partial; h <= top; h += partial, ++n) {
            sum += rise(h, j) - (rise(h - 1, j) + rise(h + 1, j)) / 2;
        }
        const double excess = n == 0 ? 0.0 : sum / n;
        if (excess >= bestRise) {
            bestRise = excess;
            best = from + j * step;
        } else if (best >= 0) {
            break;  // past the steepest rise of the first entry
        }
    }
    return best;
}
}  // namespace

bool heardAsFundamental(const SpectralEvidence& ev, int key, int64_t fromMs, int64_t toMs) {
    const double hz = keyHz(key);
    int frames = 0;
    for (int64_t t = fromMs; t <= std::min(toMs, ev.endMs()); t += ev.frameMs()) {
        if (ev.levelAt(t, hz) > 0.0f) ++frames;
    }
    return frames >= kFundamentalFrames;
}

bool partialsHeard(const SpectralEvidence& ev, int key, std::initializer_list<int> partials,
                   int64_t fromMs, int64_t toMs) {
    const double hz = keyHz(key);
    for (int h : partials) {
        int frames = 0;
        for (int64_t t = fromMs; t <= std::min(toMs, ev.endMs()); t += ev.frameMs()) {
            if (ev.levelAt(t, hz * h) > 0.0f) ++frames;
        }
        if (frames < kFundamentalFrames) return false;
    }
    return true;
}

bool oddPartialsHeard(const SpectralEvidence& ev, int key, int64_t fromMs, int64_t toMs) {
    return partialsHeard(ev, key, {3, 5}, fromMs, toMs);
}

namespace {

// True when a partial of `key` (any below kProfileTopHz) lies within
// kPeakToleranceCents of `hz`: above a low note every peak may be one.
bool hasPartialNear(int key, double hz) {
    const double f0 = keyHz(key);
    const double h = std::round(hz / f0);
    return h >= 1.0 && h * f0 < kProfileTopHz &&
           std::fabs(1200.0 * std::log2(h * f0 / hz)) < kPeakToleranceCents;
}

// The first fall of `env` (a note's levels, one per frame) after its
// loudest: the first frame j by which the level has fallen kReleaseDropDb
// under the loudest of the `within` frames before it and never comes back;
// it began at the last frame before j still within kReleaseStartDb of that
// level. That frame when `held(start)` says the sound was held before it,
// else -1 (also when there is no such fall).
template <typename Held>
int64_t fallFrame(const std::vector<float>& env, size_t within, Held&& held) {
    const size_t peakAt =
        static_cast<size_t>(std::max_element(env.begin(), env.end()) - env.begin());
    std::vector<float> laterMax(env.size() + 1, 0.0f);
    for (size_t i = env.size(); i-- > 0;) laterMax[i] = std::max(laterMax[i + 1], env[i]);
    for (size_t j = peakAt + 1; j < env.size(); ++j) {
        const size_t first = j > within ? j - within : 0;
        const float before = *std::max_element(env.begin() + static_cast<long>(first),
                                               env.begin() + static_cast<long>(j));
        if (before <= 0.0f || laterMax[j] > before - kReleaseDropDb) continue;
        size_t start = j - 1;
        while (start > first && env[start] < before - kReleaseStartDb) --start;
        return held(start) ? static_cast<int64_t>(start) : -1;
    }
    return -1;
}

// Where the release of `env` begins (kReleaseMs as `within`): a struck note
// that decays fast all along (more than half of kReleaseDropDb over the
// `within` before the fall) was not held and keeps its track's end.
int64_t releaseFrame(const std::vector<float>& env, size_t within) {
    return fallFrame(env, within, [&](size_t start) {
        return env[start] >= env[start > within ? start - within : 0] - kReleaseDropDb / 2;
    });
}

// A slower release (kSlowReleaseMs as `within`): held means a whole
// `within` before the fall with the level within kReleaseStartDb all along.
int64_t slowReleaseFrame(const std::vector<float>& env, size_t within) {
    return fallFrame(env, within, [&](size_t start) {
        if (start < within) return false;
        const auto from = env.begin() + static_cast<long>(start - within);
        const auto to = env.begin() + static_cast<long>(start);
        return *std::max_element(from, to) - *std::min_element(from, to) <= kReleaseStartDb;
    });
}

}  // namespace

namespace {
// The indices of `notes` by onset (ties in their order); `longest` gets the
// longest note's length.
std::vector<size_t> indicesByOnset(const std::vector<ScoreNote>& notes, int64_t& longest) {
    std::vector<size_t> byOnset(notes.size());
    longest = 0;
    for (size_t i = 0; i < notes.size(); ++i) {
        byOnset[i] = i;
        longest = std::max(longest, notes[i].offsetMs - notes[i].onsetMs);
    }
    std::stable_sort(byOnset.begin(), byOnset.end(),
                     [&](size_t a, size_t b) { return notes[a].onsetMs < notes[b].onsetMs; });
    return byOnset;
}
}  // namespace

std::vector<ScoreNote> endsFromEnvelope(const SpectralEvidence& ev,
                                        const std::vector<ScoreNote>& notes, int64_t frameEndMs) {
    std::vector<ScoreNote> out = notes;
    const int64_t step = ev.frameMs();
    const size_t within = static_cast<size_t>(std::max<int64_t>(1, kReleaseMs / step));
    // The notes by onset, and the longest, to find what sounds with a note.
    int64_t longest = 0;
    const std::vector<size_t> byOnset = indicesByOnset(notes, longest);
    std::map<int, std::vector<int64_t>> onsetsOf;  // key -> onsets, to stop at the next note
    for (const ScoreNote& n : notes) onsetsOf[n.key].push_back(n.onsetMs);
    for (auto& [key, onsets] : onsetsOf) std::sort(onsets.begin(), onsets.end());
    const auto nextOnset = [&](int key, int64_t after) {
        const std::vector<int64_t>& onsets = onsetsOf[key];
        auto next = std::upper_bound(onsets.begin(), onsets.end(), after);
        return next == onsets.end() ? INT64_MAX : *next;
    };
    for (ScoreNote& n : out) {
        // The tracks that carry the note on after its own.
        const int64_t limit = nextOnset(n.key, n.onsetMs);
        n.offsetMs = std::max(n.offsetMs, ev.continuedEnd(n.key, n.offsetMs, limit));
        std::vector<float> env = ev.envelope(n.key, n.onsetMs, n.offsetMs - step);
        if (env.empty()) continue;
        const float ownPeak = *std::max_element(env.begin(), env.end());
        // A note with no track of its own (a fundamental added from its
        // partials) has only its partials to tell.
        const bool own = ownPeak > 0.0f;
        int64_t release = own ? releaseFrame(env, within) : -1;
        if (release < 0) {
            // Its own tracks faded without a release: its partials 2 and 3,
            // when they started with it and are no notes of their own, carry
            // the sound on (a fundamental that falls under the analysis
            // floor first, or that a neighbour a few semitones away hides).
            int64_t partnersEnd = n.offsetMs;
            std::vector<int> partners;
            std::vector<int64_t> runEnds;  // per partner: where its peaks carry it
            for (int interval : kCarryingPartialIntervals) {
                const int key = n.key + interval;
                const std::vector<int64_t>& onsets = onsetsOf[key];
                if (std::any_of(onsets.begin(), onsets.end(), [&](int64_t o) {
                        return std::llabs(o - n.onsetMs) <= kTogetherMs;
                    })) {
                    continue;
                }
                int64_t end = n.offsetMs;
                ev.envelopeOfTracksStarting(key, n.onsetMs - kTogetherMs, n.onsetMs + kTogetherMs,
                                            n.onsetMs, n.onsetMs, &end);
                int64_t bound = std::min(limit, nextOnset(key, n.onsetMs));
                // A partial that rose with the note and goes on as peaks
                // (too quiet for a track of its own) carries it on as well,
                // when the note's own tracks faded rather than stopped, up to
                // a note that has that partial among its own.
                int64_t runEnd = n.onsetMs;
                if (own && env.back() < ownPeak - kReleaseDropDb) {
                    // Another note of the score with that partial among its
                    // own is what is heard from its start; sounding since
                    // before, it may be all along.
                    const double hz = keyHz(key);
                    bool shared = false;
                    auto it =
                        std::lower_bound(byOnset.begin(), byOnset.end(), n.onsetMs - longest,
                                         [&](size_t i, int64_t t) { return notes[i].onsetMs < t; });
                    for (; it != byOnset.end() && notes[*it].onsetMs < bound && !shared; ++it) {
                        const size_t m = *it;
                        const ScoreNote& o = notes[m];
                        if (static_cast<ptrdiff_t>(m) == &n - out.data() ||
                            o.offsetMs <= n.onsetMs || !hasPartialNear(o.key, hz)) {
                            continue;
                        }
                        if (o.onsetMs <= n.onsetMs + kTogetherMs)
                            shared = true;
                        else
                            bound = std::min(bound, o.onsetMs);
                    }
                    if (!shared) runEnd = std::min(ev.partialRunEnd(hz, n.onsetMs, bound), bound);
                }
                partnersEnd = std::max({partnersEnd, std::min(end, bound), runEnd});
                partners.push_back(key);
                runEnds.push_back(runEnd);
            }
            if (partnersEnd > n.offsetMs || !own) {
                // Their levels, moved to the note's own loudest, continue its
                // envelope.
                // (Nothing sounds past the lists: a score's note may run on
                // far past them.)
                const int64_t envEnd = std::min(std::max(partnersEnd, n.offsetMs), ev.endMs());
                if (envEnd - step >= n.onsetMs) {
                    env.resize(static_cast<size_t>((envEnd - step - n.onsetMs) / step + 1), 0.0f);
                }
                for (size_t k = 0; k < partners.size(); ++k) {
                    const int key = partners[k];
                    std::vector<float> p = ev.envelopeOfTracksStarting(
                        key, n.onsetMs - kTogetherMs, n.onsetMs + kTogetherMs, n.onsetMs,
                        partnersEnd - step);
                    for (size_t i = 0; i < p.size(); ++i) {
                        const int64_t t = n.onsetMs + static_cast<int64_t>(i) * step;
                        if (t >= runEnds[k]) break;
                        p[i] = std::max(p[i], ev.levelAt(t, keyHz(key)));
                    }
                    if (p.empty()) continue;
                    const float peak = *std::max_element(p.begin(), p.end());
                    for (size_t i = 0; i < env.size() && i < p.size(); ++i) {
                        if (p[i] > 0.0f)
                            env[i] = std::max(env[i], own ? p[i] - peak + ownPeak : p[i]);
                    }
                }
                n.offsetMs = std::max(n.offsetMs, partnersEnd);
                if (*std::max_element(env.begin(), env.end()) > 0.0f)
                    release = releaseFrame(env, within);
            }
        }
        if (*std::max_element(env.begin(), env.end()) <= 0.0f) continue;  // nothing heard
        if (release < 0) {
            release = slowReleaseFrame(
                env, static_cast<size_t>(std::max<int64_t>(1, kSlowReleaseMs / step)));
        }
        if (release >= 0) {
            n.offsetMs = std::min(n.offsetMs, n.onsetMs + (release + 1) * step + frameEndMs);
        } else if (env.back() >= *std::max_element(env.begin(), env.end()) - kReleaseDropDb) {
            // A track that stops while still loud stops with the sound: its
            // last frame carries no fading share either.
            n.offsetMs += frameEndMs;
        }
    }
    return out;
}

bool attackAt(const SpectralEvidence& ev, int64_t onsetMs, double hz) {
    const auto source = [&](int64_t from, int64_t to) {
        double sum = 0.0;
        int n = 0;
        for (int64_t t = from; t <= to; t += ev.frameMs(), ++n) {
            for (int h = 1; h <= kAttackPartials; ++h) {
                sum += ev.levelAt(t, hz * h, kSourceToleranceCents) / kAttackPartials;
            }
        }
        return n == 0 ? 0.0 : sum / n;
    };
    return source(onsetMs, onsetMs + kAttackAfterMs) - source(onsetMs - 40, onsetMs - 10) >=
           kOwnAttackRiseDb;
}

std::vector<ScoreNote> keepShortNotes(const SpectralEvidence& ev,
                                      const std::vector<ScoreNote>& notes) {
    // The notes by onset, and the longest, to find what sounds with a note.
    int64_t longest = 0;
    const std::vector<size_t> byOnset = indicesByOnset(notes, longest);
    std::vector<ScoreNote> out;
    for (size_t i = 0; i < notes.size(); ++i) {
        const ScoreNote& n = notes[i];
        if (n.offsetMs - n.onsetMs >= kFlickerMs) {
            out.push_back(n);
            continue;
        }
        // A short note stays when it starts with an attack of its own and
        // nothing else sounds within a whole tone of it.
        bool alone = true;
        auto it = std::lower_bound(byOnset.begin(), byOnset.end(), n.onsetMs - longest,
                                   [&](size_t k, int64_t t) { return notes[k].onsetMs < t; });
        for (; alone && it != byOnset.end() && notes[*it].onsetMs < n.offsetMs; ++it) {
            const ScoreNote& m = notes[*it];
            if (*it == i || std::abs(m.key - n.key) > kShortNeighbourSemitones) continue;
            if (n.onsetMs < m.offsetMs) alone = false;
        }
        if (alone && attackAt(ev, n.onsetMs, keyHz(n.key))) out.push_back(n);
    }
    return out;
}

bool heardThroughout(const SpectralEvidence& ev, int key, int64_t fromMs, int64_t toMs) {
    if (toMs < fromMs || toMs > ev.endMs()) return false;
    const double hz = keyHz(key);
    for (int64_t t = fromMs; t <= toMs; t += ev.frameMs()) {
        bool heard = false;
        for (int h = 1; h <= kAttackPartials && !heard; ++h) {
            heard = ev.levelAt(t, hz * h) > 0.0f;
        }
        if (!heard) return false;
    }
    return true;
}

std::vector<ScoreNote> softAttackStarts(const SpectralEvidence& ev,
                                        const std::vector<ScoreNote>& notes, double frameMs) {
    std::vector<ScoreNote> out = notes;
    const int64_t step = ev.frameMs();
    // Frames the window smears a sudden attack over.
    const int64_t smear =
        std::max<int64_t>(1, static_cast<int64_t>(std::ceil(frameMs / static_cast<double>(step))));
    for (ScoreNote& n : out) {
        const std::vector<float> env =
            ev.envelope(n.key, n.onsetMs, n.onsetMs + (smear + kSoftAttackLookFrames) * step);
        if (env.empty() || env[0] <= 0.0f) continue;
        const int64_t top = std::max_element(env.begin(), env.end()) - env.begin();
        if (top < smear) continue;  // loudest within the window's smear
        const double slope = (env[static_cast<size_t>(top)] - env[0]) / static_cast<double>(top);
        if (slope < kSoftAttackSlopeDb) continue;
        const double back =
            std::min<double>(kSoftAttackBackFrames, (env[0] - kPeakFloorDb) / slope);
        if (back >= 1.0) n.onsetMs -= static_cast<int64_t>(back) * step;
    }
    return out;
}

std::vector<ScoreNote> joinHeldNotes(const SpectralEvidence& ev,
                                     const std::vector<ScoreNote>& notes) {
    std::vector<ScoreNote> sorted = notes;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ScoreNote& a, const ScoreNote& b) { return a.onsetMs < b.onsetMs; });
    struct Held {
        ScoreNote note;
        double pitchTime = 0.0, time = 0.0;  // sums of pitch x duration and of duration
    };
    std::vector<Held> out;
    std::map<int, size_t> last;  // key -> the latest note of that key in `out`
    for (const ScoreNote& n : sorted) {
        const double pitch = ev.meanPitch(n.key, n.onsetMs, n.offsetMs);
        const double length = static_cast<double>(std::max<int64_t>(1, n.offsetMs - n.onsetMs));
        Held* into = nullptr;
        // A short piece a semitone away running into this longer one, its
        // mean pitch less than kGlideSemitones off: the glide into this note.
        for (int key : {n.key - 1, n.key + 1}) {
            auto it = last.find(key);
            if (it == last.end()) continue;
            Held& prev = out[it->second];
            const int64_t gap = n.onsetMs - prev.note.offsetMs;
            if (gap < -kHeldOverlapMs || gap > kHeldGapMs) continue;
            if (prev.time >= std::min<double>(length, kGlideMs) || std::isnan(pitch)) continue;
            if (!(std::fabs(prev.pitchTime / prev.time - pitch) < kGlideSemitones)) continue;
            prev.note.offsetMs = std::max(prev.note.offsetMs, n.offsetMs);
            prev.note.velocity = std::max(prev.note.velocity, n.velocity);
            prev.pitchTime = pitch * length;
            prev.time = length;
            last.erase(prev.note.key);
            prev.note.key = n.key;
            last[n.key] = static_cast<size_t>(&prev - out.data());
            into = &prev;
            break;
        }
        if (into) continue;
        for (int key = n.key - 1; key <= n.key + 1; ++key) {
            auto it = last.find(key);
            if (it == last.end()) continue;
            Held& prev = out[it->second];
            const int64_t gap = n.onsetMs - prev.note.offsetMs;
            if (gap < -kHeldOverlapMs) continue;
            const double prevPitch = prev.pitchTime / prev.time;
            if (key != n.key && !(std::fabs(prevPitch - pitch) < kSamePitchSemitones)) continue;
            if (into && into->note.offsetMs >= prev.note.offsetMs) continue;
            if (gap > kHeldGapMs &&
                !heardThroughout(ev, n.key, prev.note.offsetMs, n.onsetMs - ev.frameMs())) {
                continue;
            }
            into = &prev;
        }
        if (into && !attackAt(ev, n.onsetMs, keyHz(n.key))) {
            into->note.offsetMs = std::max(into->note.offsetMs, n.offsetMs);
            into->note.velocity = std::max(into->note.velocity, n.velocity);
            if (!std::isnan(pitch)) {
                into->pitchTime += pitch * length;
                into->time += length;
            }
            const int key = static_cast<int>(std::lround(into->pitchTime / into->time));
            if (key != into->note.key) {
                last.erase(into->note.key);
                into->note.key = key;
            }
            last[key] = static_cast<size_t>(into - out.data());
            continue;
        }
        Held h{n, std::isnan(pitch) ? n.key * length : pitch * length, length};
        last[n.key] = out.size();
        out.push_back(h);
    }
    std::vector<ScoreNote> joined;
    for (const Held& h : out) joined.push_back(h.note);
    return joined;
}

}  // namespace sonvola
