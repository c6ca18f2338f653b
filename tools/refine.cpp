#include "tools/refine.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>

#include "common/framedistance.h"
#include "common/numbers.h"
#include "common/scoretext.h"
#include "common/tokenreader.h"
#include "tools/evidence.h"

namespace sonvola {

namespace {
// 0x0FFFFFFF ticks at the slowest tempo ScoreToSmf writes (4 bpm), in ms.
constexpr int64_t kMaxScoreTimeMs = int64_t{1} << 40;
}  // namespace

namespace {

// A word of the score read as a whole number within [low, high]; the word
// is named in the error otherwise.
Result<int64_t> wholeNumber(const std::string& word, const char* what, int64_t low, int64_t high) {
    int64_t value = 0;
    if (!parseStrictInt(word, value)) {
        return Status::error(std::string(what) + " \"" + word + "\" is not a whole number");
    }
    if (value < low || value > high) {
        return Status::error(std::string(what) + " \"" + word + "\" is not from " +
                             std::to_string(low) + " to " + std::to_string(high));
    }
    return value;
}

// The next word of the score into `word`; false at the end.
bool nextWord(TokenReader& in, std::string& word) {
    if (in.next() == TokenReader::Got::End) return false;
    word = in.token();
    return true;
}

}  // namespace

Result<RefineScore> readRefineScore(const std::string& text) {
    RefineScore score;
    TokenReader in(text, TokenReader::kUnlimited);
    std::string tok;
    if (!nextWord(in, tok) || tok != "tracks" || !nextWord(in, tok)) {
        return Status::error("the score does not begin with \"tracks\" and a number");
    }
    const Result<int64_t> tracks = wholeNumber(tok, "the number of tracks", 0, 255);
    if (!tracks) return tracks.status();
    std::map<int, std::deque<size_t>> open;  // key -> sounding notes, oldest first
    const Status ended = Status::error("the score ends inside a track");
    for (int64_t b = 0; b < *tracks; ++b) {
        if (!nextWord(in, tok) || tok != "track{") {
            return Status::error("a track does not start with \"track{\"");
        }
        int64_t time = 0;
        for (;;) {
            if (!nextWord(in, tok)) return ended;
            if (tok == "}") break;
            switch (classifyScoreToken(tok)) {
                case ScoreToken::Tempo: {
                    // The limits of the three tempo bytes of a MIDI file.
                    if (!nextWord(in, score.tempo)) return ended;
                    const Result<int64_t> tempo = wholeNumber(score.tempo, "tempo", 4, 60000000);
                    if (!tempo) return tempo.status();
                    break;
                }
                case ScoreToken::Rhythm: {
                    std::string slash;
                    if (!nextWord(in, score.numerator) || !nextWord(in, slash) ||
                        !nextWord(in, score.denominator)) {
                        return ended;
                    }
                    const Result<int64_t> num =
                        wholeNumber(score.numerator, "time signature numerator", 1, 255);
                    if (!num) return num.status();
                    const Result<int64_t> den = wholeNumber(
                        score.denominator, "time signature denominator", 1, int64_t{1} << 62);
                    if (!den) return den.status();
                    if (!std::has_single_bit(static_cast<uint64_t>(*den))) {
                        return Status::error("time signature denominator \"" + score.denominator +
                                             "\" is not a power of two");
                    }
                    break;
                }
                case ScoreToken::Tone: {
                    if (!nextWord(in, score.program)) return ended;
                    const Result<int64_t> program = wholeNumber(score.program, "program", 1, 128);
                    if (!program) return program.status();
                    break;
                }
                case ScoreToken::Note: {
                    std::string word;
                    if (!nextWord(in, word)) return ended;
                    const Result<int64_t> velocity = wholeNumber(word, "velocity", 0, INT_MAX);
                    if (!velocity) return velocity.status();
                    const int key = noteKeyFromName(tok);
                    if (key > 127) {
                        return Status::error("note \"" + tok + "\" lies above the MIDI keys");
                    }
                    if (*velocity > 0) {
                        open[key].push_back(score.notes.size());
                        score.notes.push_back({time, time, key, static_cast<int>(*velocity)});
                    } else if (!open[key].empty()) {
                        score.notes[open[key].front()].offsetMs = time;
                        open[key].pop_front();
                    }
                    break;
                }
                case ScoreToken::Delta: {
                    // Deltas as ScoreToSmf takes them: never negative, and no
                    // longer than a MIDI file can hold (about 4.6 days).
                    int64_t delta = 0;
                    const bool digits =
                        tok.find_first_not_of("0123456789", tok[0] == '-') == std::string::npos;
                    if (!parseStrictInt(tok, delta) && !digits) {
                        return Status::error("delta \"" + tok +
                                             "\" is not a whole number of milliseconds");
                    }
                    if (digits && !parseStrictInt(tok, delta)) delta = -1;  // beyond int64
                    if (delta < 0 || delta > kMaxScoreTimeMs - time) {
                        return Status::error("delta \"" + tok + "\" is negative or too long");
                    }
                    time += delta;
                    break;
                }
            }
        }
    }
    return score;
}

std::string writeRefineScore(const RefineScore& score) {
    std::vector<NoteRecord> records;
    for (const ScoreNote& n : score.notes) {
        records.push_back({n.onsetMs, n.offsetMs, static_cast<int16_t>(n.velocity),
                           noteName(static_cast<int16_t>(n.key - 24))});
    }
    ScoreArguments args{score.tempo, score.numerator, score.denominator, score.program};
    char* buf = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&buf, &size);
    writeScore(f, records, buildScoreEvents(records), args);
    std::fclose(f);
    std::string text(buf, size);
    std::free(buf);
    return text;
}

namespace {

// The notes of each key, by onset, so that the rules look only at the keys
// and times that can matter instead of at every pair of notes.
class NotesByKey {
  public:
    explicit NotesByKey(const std::vector<ScoreNote>& notes) : notes_(notes) {
        for (size_t i = 0; i < notes.size(); ++i) byKey_[notes[i].key].push_back(i);
        for (auto& [key, list] : byKey_) {
            std::stable_sort(list.begin(), list.end(), [&](size_t x, size_t y) {
                return notes[x].onsetMs < notes[y].onsetMs;
            });
        }
    }
    // Indices of the notes of `key`, by onset (empty when there are none).
    const std::vector<size_t>& of(int key) const {
        auto it = byKey_.find(key);
        return it == byKey_.end() ? none_ : it->second;
    }
    // Calls f(index) for the notes of `key` whose onset is within `window`
    // of `time`.
    template <typename F>
    void startingNear(int key, int64_t time, int64_t window, F&& f) const {
        const auto& list = of(key);
        auto it = std::lower_bound(list.begin(), list.end(), time - window,
                                   [&](size_t i, int64_t t) { return notes_[i].onsetMs < t; });
        for (; it != list.end() && notes_[*it].onsetMs <= time + window; ++it) f(*it);
    }

  private:
    const std::vector<ScoreNote>& notes_;
    std::map<int, std::vector<size_t>> byKey_;
    std::vector<size_t> none_;
};

}  // namespace

std::vector<ScoreNote> removeHarmonicGhosts(const std::vector<ScoreNote>& notes,
                                            const SpectralEvidence* evidence) {
    const NotesByKey index(notes);
    std::vector<bool> ghost(notes.size(), false);
    // The earliest onset of the partials each note keeps (its own otherwise).
    std::vector<int64_t> familyOnset(notes.size());
    for (size_t i = 0; i < notes.size(); ++i) familyOnset[i] = notes[i].onsetMs;
    std::vector<int64_t> entryOnset(notes.size(), -1);
    for (size_t u = 0; u < notes.size(); ++u) {
        const ScoreNote& upper = notes[u];
        const int64_t span = std::max<int64_t>(1, upper.offsetMs - upper.onsetMs);
        for (int interval : kPartialIntervals) {
            const std::vector<size_t>& lowers = index.of(upper.key - interval);
            if (lowers.empty()) continue;
            // The lower pitch may sound as several notes (a split or a
            // repeat): all of them that overlap the upper note count. The
            // one starting nearest to the upper note is the note whose
            // partial it would be.
            int64_t overlap = 0;
            int64_t overlapStart = INT64_MAX, overlapEnd = INT64_MIN;
            size_t nearest = notes.size();
            for (size_t qi : lowers) {
                const ScoreNote& q = notes[qi];
                const int64_t o =
                    std::min(upper.offsetMs, q.offsetMs) - std::max(upper.onsetMs, q.onsetMs);
                if (o <= 0) continue;
                overlap += o;
                overlapStart = std::min(overlapStart, q.onsetMs);
                overlapEnd = std::max(overlapEnd, q.offsetMs);
                if (nearest == notes.size() ||
                    std::llabs(q.onsetMs - upper.onsetMs) <
                        std::llabs(notes[nearest].onsetMs - upper.onsetMs)) {
                    nearest = qi;
                }
            }
            // With the lists a lower note starting with it is enough: its
            // partial may sound on after NoteFind ended the note (the
            // fundamental's track ended first), and the levels decide below.
            const bool together = evidence && nearest != notes.size() &&
                                  std::llabs(notes[nearest].onsetMs - upper.onsetMs) <= kTogetherMs;
            const bool covered =
                static_cast<double>(overlap) >= kGhostOverlapShare * static_cast<double>(span);
            if (!covered && !together) continue;
            for (size_t li : lowers) {
                const ScoreNote& lower = notes[li];
                // Taken for its start alone, the upper note is weighed against
                // the lower notes it overlaps only (a later note of that pitch
                // would hide its own end).
                if (!covered && std::min(upper.offsetMs, lower.offsetMs) <=
                                    std::max(upper.onsetMs, lower.onsetMs)) {
                    continue;
                }
                const int64_t lowerStart = std::min(lower.onsetMs, overlapStart);
                const int64_t lowerEnd = std::max(lower.offsetMs, overlapEnd);
                // The loudness a partial of `lower` may have: measured against
                // the loudest of the notes sounding with it at its partials.
                int family = lower.velocity;
                for (int k : kPartialIntervals) {
                    index.startingNear(lower.key + k, lower.onsetMs, kTogetherMs, [&](size_t p) {
                        if (p != u) family = std::max(family, notes[p].velocity);
                    });
                }
                const int partial =
                    static_cast<int>(std::find(std::begin(kPartialIntervals),
                                               std::end(kPartialIntervals), interval) -
                                     std::begin(kPartialIntervals) + 2);
                // With the lists: where a doubling entered over the sounding
                // partial (-1 when none did), unless a note of the score
                // entering then, over the upper one, is what rose.
                const auto entered = [&]() -> int64_t {
                    if (!evidence) return -1;
                    const int64_t entry = doublingEntry(*evidence, notes[nearest], upper, partial);
                    bool explained = false;
                    for (int k : kPartialIntervals) {
                        index.startingNear(upper.key + k, entry, kTogetherMs,
                                           [&](size_t) { explained = true; });
                    }
                    return explained ? -1 : entry;
                };
                // A note of its own by its loudness or its end that NoteFind
                // dated from the partial under it starts where it entered.
                const bool ownLoudness = upper.velocity > family + kGhostLouderMargin;
                const bool ownEnd = upper.offsetMs > lowerEnd + kGhostOwnEndMs;
                if (upper.onsetMs < lowerStart - kGhostOwnStartMs) continue;  // starts on its own
                if (ownLoudness || ownEnd) {
                    if (std::llabs(upper.onsetMs - notes[nearest].onsetMs) <= kTogetherMs) {
                        if (const int64_t entry = entered(); entry >= 0) entryOnset[u] = entry;
                    }
                    continue;
                }
                // A note that sounds on its own stays (from where it entered
                // when NoteFind dated it from the partial under it); a
                // doubling that entered over the sounding partial starts where
                // it entered.
                if (evidence && soundsOnItsOwn(*evidence, notes[nearest], upper, partial)) {
                    if (std::llabs(upper.onsetMs - notes[nearest].onsetMs) <= kTogetherMs) {
                        if (const int64_t entry = entered(); entry >= 0) entryOnset[u] = entry;
                    }
                    break;
                }
                if (const int64_t entry = entered(); entry >= 0) {
                    entryOnset[u] = entry;
                    break;
                }
                ghost[u] = true;
                break;
            }
            if (ghost[u]) {
                // A low note's partials are resolved sooner than the note
                // itself: the note starts when its first partial does.
                familyOnset[nearest] = std::min(familyOnset[nearest], upper.onsetMs);
                break;
            }
        }
    }
    std::vector<ScoreNote> kept;
    for (size_t i = 0; i < notes.size(); ++i) {
        if (ghost[i]) continue;
        kept.push_back(notes[i]);
        kept.back().onsetMs = entryOnset[i] >= 0 ? entryOnset[i] : familyOnset[i];
    }
    return kept;
}

std::vector<ScoreNote> addMissingFundamentals(const std::vector<ScoreNote>& notes,
                                              const SpectralEvidence* evidence) {
    // The notes by onset, to find those that start together with a note.
    std::vector<size_t> byOnset(notes.size());
    for (size_t i = 0; i < notes.size(); ++i) byOnset[i] = i;
    std::stable_sort(byOnset.begin(), byOnset.end(),
                     [&](size_t a, size_t b) { return notes[a].onsetMs < notes[b].onsetMs; });
    auto startingWith = [&](const ScoreNote& note, auto&& f) {
        auto it = std::lower_bound(byOnset.begin(), byOnset.end(), note.onsetMs - kTogetherMs,
                                   [&](size_t i, int64_t t) { return notes[i].onsetMs < t; });
        for (; it != byOnset.end() && notes[*it].onsetMs <= note.onsetMs + kTogetherMs; ++it) {
            f(notes[*it]);
        }
    };
    std::vector<ScoreNote> out = notes;
    std::map<int, std::vector<int64_t>> onsetsOf;  // key -> onsets in `out`
    for (const ScoreNote& n : notes) onsetsOf[n.key].push_back(n.onsetMs);
    auto add = [&](const ScoreNote& added) {
        // Not twice for one fundamental (each of its partials finds it), nor
        // where the score already holds it.
        auto& onsets = onsetsOf[added.key];
        for (int64_t t : onsets) {
            if (std::llabs(t - added.onsetMs) <= kTogetherMs) return;
        }
        onsets.push_back(added.onsetMs);
        out.push_back(added);
    };
    const NotesByKey index(notes);
    // True when a note of `key` sounds during `during`.
    auto sounds = [&](int key, const ScoreNote& during) {
        const std::vector<size_t>& list = index.of(key);
        auto it = std::lower_bound(list.begin(), list.end(), during.offsetMs,
                                   [&](size_t i, int64_t t) { return notes[i].onsetMs < t; });
        return it != list.begin() && notes[*std::prev(it)].offsetMs > during.onsetMs;
    };
    // True when a note sounding during `during` has `key` among its partials.
    auto partialOfASoundingNote = [&](int key, const ScoreNote& during) {
        for (int interval : kPartialIntervals) {
            if (sounds(key - interval, during)) return true;
        }
        return false;
    };
    // True when a note of `key` that started before `time` (by more than
    // kTogetherMs) still sounds then. For each key, the latest end of its
    // notes so far, by onset, made when first asked.
    std::map<int, std::vector<int64_t>> latestEnd;
    auto heldAt = [&](int key, int64_t time) {
        const std::vector<size_t>& list = index.of(key);
        if (list.empty()) return false;
        auto [at, fresh] = latestEnd.try_emplace(key);
        std::vector<int64_t>& ends = at->second;
        if (fresh) {
            int64_t latest = INT64_MIN;
            for (size_t i : list) ends.push_back(latest = std::max(latest, notes[i].offsetMs));
        }
        // The notes that started more than kTogetherMs before `time`: one of
        // them still sounds when the latest of their ends is past it.
        const auto it = std::lower_bound(list.begin(), list.end(), time - kTogetherMs,
                                         [&](size_t i, int64_t t) { return notes[i].onsetMs < t; });
        return it != list.begin() && ends[static_cast<size_t>(it - list.begin()) - 1] > time;
    };
    for (const ScoreNote& anchor : notes) {
        for (int anchorInterval : {12, 19, 24, 28}) {
            // `anchor` as partial 2 (3, 4, 5) of a fundamental below it.
            const int fundamental = anchor.key - anchorInterval;
            if (fundamental < kLowestFundamentalKey) continue;
            const bool low = fundamental <= kMaxMissingFundamentalKey;
            // Above the low range only an anchor at partial 2 is tried, and,
            // with the spectrum, one at partial 3 heard over its fundamental
            // and its even partials (below).
            const bool twelfth = !low && anchorInterval == 19 && evidence;
            if (!low && anchorInterval != 12 && !twelfth) continue;
            // What starts with it: partials 2 to 5, any partial, other notes.
            int together = 0, lowPartials = 0, others = 0;
            unsigned partialSet = 0;  // bit i: kPartialIntervals[i] sounds
            bool fundamentalSounds = false;
            int second = -1, third = -1;
            ScoreNote added = anchor;
            added.key = fundamental;
            startingWith(anchor, [&](const ScoreNote& n) {
                ++together;
                const int interval = n.key - fundamental;
                fundamentalSounds = fundamentalSounds || interval == 0;
                if (interval == 12 || interval == 19 || interval == 24 || interval == 28) {
                    ++lowPartials;
                }
                const auto* at =
                    std::find(std::begin(kPartialIntervals), std::end(kPartialIntervals), interval);
                if (at != std::end(kPartialIntervals)) {
                    partialSet |= 1u << (at - std::begin(kPartialIntervals));
                    added.onsetMs = std::min(added.onsetMs, n.onsetMs);
                    added.offsetMs = std::max(added.offsetMs, n.offsetMs);
                    added.velocity = std::max(added.velocity, n.velocity);
                } else if (interval != 0 && n.offsetMs - n.onsetMs >= kFlickerMs &&
                           !(evidence && low &&
                             std::abs(interval) <= kMispitchedFundamentalSemitones)) {
                    ++others;
                }
                if (interval == 12) second = std::max(second, n.velocity);
                if (interval == 19) third = std::max(third, n.velocity);
            });
            // Nor is a fundamental that sounds already, held from before the
            // anchor: the anchor then entered over it (a doubling, or the
            // partial of that note), which the ghost rule decides.
            if (fundamentalSounds || heldAt(fundamental, anchor.onsetMs)) continue;
            bool enough = false;
            if (twelfth) {
                // Only the series below.
            } else if (low) {
                // Three partials, one of them the 2nd, and nothing else
                // starting there but flickers.
                const int count = std::popcount(partialSet);
                const bool octave = (partialSet & 0x1u) != 0;
                enough = count >= 3 && octave && others == 0;
            } else {
                // Partials 2 to 5 alone: three of them, or two when the
                // higher is the louder, as in brass (a note with a weaker
                // companion a fifth above is a note).
                const bool alone = together == lowPartials;
                enough = alone && (lowPartials >= 3 || (lowPartials >= 2 && third > second));
            }
            // With the spectrum to confirm the fundamental (below), two
            // partials are enough when one is odd (3, 5 or 7: partials 2 and 4
            // alone are a note and its octave): the octave and another below
            // G2, any two of partials 2 to 5 alone above.
            if (evidence && !enough && !twelfth && (partialSet & 0x2Au) != 0) {
                enough =
                    low ? std::popcount(partialSet) >= 2 && (partialSet & 0x1u) != 0 && others == 0
                        : together == lowPartials && lowPartials >= 2;
            }
            // With the spectrum, the octave alone stands for a fundamental
            // heard below it (an inner voice of a chord whose 2nd partial came
            // through first), unless a lower note sounding then holds that
            // fundamental among its partials.
            bool octaveAlone = false;
            if (evidence && !enough && anchorInterval == 12 &&
                !partialOfASoundingNote(fundamental, anchor)) {
                enough = octaveAlone = true;
            }
            const int64_t attackEnd = std::min(anchor.offsetMs, anchor.onsetMs + kOctaveOnsetMs);
            // Below G2, with the spectrum, partial 3 alone stands for the
            // fundamental when partials 2 and 4 are heard as peaks, neither a
            // note of the score (a note a twelfth above has no even partials
            // of the fundamental), whatever else starts with it (a right
            // hand over the bass).
            bool evenSeries = false;
            if (evidence && !enough && (low || twelfth) && anchorInterval == 19 &&
                partialSet == 0x2u && (others == 0 || low) && !sounds(fundamental + 12, anchor) &&
                !sounds(fundamental + 24, anchor) &&
                partialsHeard(*evidence, fundamental, {2, 4}, anchor.onsetMs, attackEnd)) {
                enough = evenSeries = true;
            }
            if (!enough) continue;
            // Above G2 the fundamental itself is heard as the twelfth starts.
            if (twelfth && !heardAsFundamental(*evidence, fundamental, anchor.onsetMs, attackEnd))
                continue;
            // Below G2 the fundamental may leave no peak at all: its odd
            // partials 3 and 5 heard with the octave (and no note of the score
            // there) stand for it; with partial 3 a note starting with the
            // octave, partial 5 heard alone (an octave and a fifth have no
            // partial at 5 times the fundamental).
            const bool fifthHeard =
                evidence && low && !octaveAlone && (partialSet & 0x3u) == 0x3u &&
                !sounds(fundamental + 28, anchor) &&
                partialsHeard(*evidence, fundamental, {5}, anchor.onsetMs, attackEnd);
            const bool oddSeries =
                evenSeries || fifthHeard ||
                (octaveAlone && low && !sounds(fundamental + 19, anchor) &&
                 !sounds(fundamental + 28, anchor) &&
                 oddPartialsHeard(*evidence, fundamental, anchor.onsetMs, attackEnd));
            // ... heard as the octave starts, not a note played later under it.
            if (octaveAlone && !oddSeries &&
                !heardAsFundamental(*evidence, fundamental, anchor.onsetMs, attackEnd)) {
                continue;
            }
            if (evidence && !oddSeries &&
                !heardAsFundamental(*evidence, fundamental, added.onsetMs, added.offsetMs)) {
                continue;
            }
            // The added note spans the partials found.
            add(added);
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const ScoreNote& a, const ScoreNote& b) { return a.onsetMs < b.onsetMs; });
    return out;
}

namespace {
// The frame distance d of SpecScan's short-term estimation:
// trunc((N - 11 s) / (11 s)) for a shift of s whole milliseconds, 0 without it.
int64_t shortTermFrames(double frameShiftMs, int frameLength, bool shortTermEstimation) {
    const int64_t shift = static_cast<int64_t>(frameShiftMs);
    if (!shortTermEstimation || shift <= 0) return 0;
    return shortTermDistance(frameLength, shift, shift);
}
}  // namespace

int64_t analysisLatencyMs(double frameShiftMs, int frameLength, bool shortTermEstimation) {
    const int64_t d = shortTermFrames(frameShiftMs, frameLength, shortTermEstimation);
    return static_cast<int64_t>(static_cast<double>(d) * frameShiftMs + frameShiftMs / 2.0 + 0.5);
}

int64_t analysisEndLatencyMs(double frameShiftMs, int frameLength, bool shortTermEstimation) {
    const int64_t d = shortTermFrames(frameShiftMs, frameLength, shortTermEstimation);
    return static_cast<int64_t>(static_cast<double>(d) * frameShiftMs +
                                kEndFrameShare * frameLength / 11.025 + 0.5);
}

std::vector<ScoreNote> shiftEarlier(const std::vector<ScoreNote>& notes, int64_t startLatencyMs,
                                    int64_t endLatencyMs) {
    std::vector<ScoreNote> out = notes;
    for (ScoreNote& n : out) {
        n.onsetMs = std::max<int64_t>(0, n.onsetMs - startLatencyMs);
        n.offsetMs = std::max<int64_t>(n.onsetMs + 1, n.offsetMs - endLatencyMs);
    }
    return out;
}

std::vector<ScoreNote> mergeSplitNotes(const std::vector<ScoreNote>& notes,
                                       const SpectralEvidence* evidence) {
    std::vector<ScoreNote> sorted = notes;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ScoreNote& a, const ScoreNote& b) { return a.onsetMs < b.onsetMs; });
    std::vector<ScoreNote> out;
    std::map<int, size_t> last;  // key -> index in out of the latest note of that pitch
    for (const ScoreNote& n : sorted) {
        auto it = last.find(n.key);
        if (it != last.end()) {
            ScoreNote& prev = out[it->second];
            const int64_t gap = n.onsetMs - prev.offsetMs;
            const int drop = prev.velocity - n.velocity;
            const bool dropout = gap <= kMergeGapMs && drop > 0 && drop <= kMergeVelocityDrop &&
                                 !(evidence && attackAt(*evidence, n.onsetMs, keyHz(n.key)));
            if (gap < 0 || dropout) {
                prev.offsetMs = std::max(prev.offsetMs, n.offsetMs);
                prev.velocity = std::max(prev.velocity, n.velocity);
                continue;
            }
        }
        last[n.key] = out.size();
        out.push_back(n);
    }
    return out;
}

std::vector<ScoreNote> removeFlickers(const std::vector<ScoreNote>& notes) {
    std::vector<ScoreNote> out;
    for (const ScoreNote& n : notes) {
        if (n.offsetMs - n.onsetMs >= kFlickerMs) out.push_back(n);
    }
    return out;
}

RefineScore refineScore(const RefineScore& score, const RefineOptions& o) {
    RefineScore out = score;
    const SpectralEvidence* ev = o.evidence;
    out.notes = mergeSplitNotes(out.notes, ev);
    if (ev) out.notes = joinHeldNotes(*ev, out.notes);
    out.notes = removeHarmonicGhosts(out.notes, ev);
    out.notes = addMissingFundamentals(out.notes, ev);
    out.notes = removeHarmonicGhosts(out.notes, ev);
    if (ev) {
        // A fundamental found may itself be a partial of a lower note whose
        // other partials start with it (a trumpet's weak fundamental and
        // octave): with the lists, which ask a peak of every fundamental
        // added, the notes found are looked at once more.
        out.notes = addMissingFundamentals(out.notes, ev);
        out.notes = removeHarmonicGhosts(out.notes, ev);
        // The fundamentals found may continue the notes beside them (a sung
        // glide into a note found from its partials): held notes again.
        out.notes = joinHeldNotes(*ev, out.notes);
    }
    out.notes = mergeSplitNotes(out.notes, ev);
    out.notes = ev ? keepShortNotes(*ev, out.notes) : removeFlickers(out.notes);
    if (ev) {
        // A release is dated at its first frame; the frame's share of the end
        // latency (below) is not spent there.
        out.notes = endsFromEnvelope(
            *ev, out.notes, static_cast<int64_t>(kEndFrameShare * o.frameLength / 11.025 + 0.5));
    }
    if (ev) out.notes = softAttackStarts(*ev, out.notes, o.frameLength / 11.025);
    out.notes = shiftEarlier(
        out.notes, analysisLatencyMs(o.frameShiftMs, o.frameLength, o.shortTermEstimation),
        analysisEndLatencyMs(o.frameShiftMs, o.frameLength, o.shortTermEstimation));
    return out;
}

}  // namespace sonvola
