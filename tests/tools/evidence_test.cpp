// The refinement rules that read the peak and track lists, each on small
// generated lists: a case it must keep and a case it must change.
#include "tools/evidence.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <numeric>

#include "common/peakfile.h"

namespace sonvola {
namespace {

using Notes = std::vector<ScoreNote>;

// One partial as the stages would hear it: a frequency and a level for each
// 10 ms frame from `from` up to `to`, falling by `decay` dB a frame.
struct Partial {
    int64_t from, to;
    double hz;
    float level;
    float decay = 0.0f;
    double cents = 0.0;   // off the given frequency
    bool tracked = true;  // false: heard as peaks only, no track of its own
};

// The partials of a note at `key`: level[h - 1] for partial h.
std::vector<Partial> harmonic(int key, int64_t from, int64_t to, std::vector<float> levels,
                              float decay = 0.0f) {
    std::vector<Partial> out;
    for (size_t h = 1; h <= levels.size(); ++h) {
        if (levels[h - 1] > 0.0f)
            out.push_back({from, to, keyHz(key) * static_cast<double>(h), levels[h - 1], decay});
    }
    return out;
}

// The frames (every partial that sounds, 10 dB or more) and the tracks
// (one per partial) of a recording `lengthMs` long.
SpectralEvidence evidenceOf(const std::vector<Partial>& partials, int64_t lengthMs) {
    PeakTable frames, tracks;
    for (int64_t t = 10; t <= lengthMs; t += 10) {
        PeakRecord r;
        r.label = static_cast<int32_t>(t);
        std::vector<std::pair<float, float>> peaks;
        for (const Partial& p : partials) {
            if (t < p.from || t >= p.to) continue;
            const float level = p.level - p.decay * static_cast<float>((t - p.from) / 10);
            if (level >= 10.0f)
                peaks.emplace_back(static_cast<float>(p.hz * std::pow(2.0, p.cents / 1200)), level);
        }
        std::sort(peaks.begin(), peaks.end());
        for (auto [f, l] : peaks) {
            r.freqs.push_back(f);
            r.levels.push_back(l);
        }
        frames.records.push_back(r);
    }
    for (const Partial& p : partials) {
        if (!p.tracked) continue;
        PeakRecord r;
        r.label = static_cast<int32_t>(p.from);
        for (int64_t t = p.from; t < p.to; t += 10) {
            const float level = p.level - p.decay * static_cast<float>((t - p.from) / 10);
            if (level < 10.0f) break;
            r.freqs.push_back(static_cast<float>(p.hz * std::pow(2.0, p.cents / 1200)));
            r.levels.push_back(level);
        }
        tracks.records.push_back(r);
    }
    return SpectralEvidence(std::move(frames), tracks, 10);
}

std::vector<int> keys(const Notes& notes) {
    std::vector<int> k;
    for (const auto& n : notes) k.push_back(n.key);
    return k;
}

std::vector<Partial> operator+(std::vector<Partial> a, const std::vector<Partial>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(EvidenceLevels, PeaksPartialsEnvelopeAndPitch) {
    const SpectralEvidence ev =
        evidenceOf(harmonic(57, 100, 300, {30, 24, 20}) +
                       std::vector<Partial>{{300, 400, 440.0 * std::pow(2.0, 30 / 1200.0), 18}},
                   500);
    EXPECT_FLOAT_EQ(ev.levelAt(150, 220.0), 30.0f);
    EXPECT_FLOAT_EQ(ev.levelAt(150, 440.0), 24.0f);
    EXPECT_FLOAT_EQ(ev.levelAt(150, 233.0), 0.0f);   // a semitone off
    EXPECT_FLOAT_EQ(ev.levelAt(50, 220.0), 0.0f);    // before the note
    EXPECT_FLOAT_EQ(ev.levelAt(5000, 220.0), 0.0f);  // past the list
    const auto p = ev.partialLevels(57, 100, 290);
    EXPECT_FLOAT_EQ(p[1], 30.0f);
    EXPECT_FLOAT_EQ(p[3], 20.0f);
    EXPECT_FLOAT_EQ(p[4], 0.0f);
    const std::vector<float> env = ev.envelope(57, 80, 320);
    ASSERT_EQ(env.size(), 25u);
    EXPECT_FLOAT_EQ(env[0], 0.0f);
    EXPECT_FLOAT_EQ(env[2], 30.0f);
    EXPECT_NEAR(ev.meanPitch(69, 300, 400), 69.3, 1e-3);
    EXPECT_TRUE(std::isnan(ev.meanPitch(69, 0, 100)));  // before anything sounds
}

TEST(EvidenceLevels, PartialProfilesAreTheMeansOfTheirPartials) {
    // Asked again, for other keys and spans, and past the lists' end, a
    // profile holds each partial's mean level over its span.
    const SpectralEvidence ev = evidenceOf(
        harmonic(48, 100, 600, {30, 25, 20, 15}, 0.5f) + harmonic(55, 300, 900, {28, 0, 24}), 1000);
    const std::array<int64_t, 3> asks[] = {{48, 100, 200},  {55, 300, 400}, {48, 100, 200},
                                           {48, 500, 1200}, {55, 450, 300}, {55, 300, 400}};
    for (const auto& [key, from, to] : asks) {
        const auto p = ev.partialLevels(static_cast<int>(key), from, to);
        for (int h = 1; h <= kProfilePartials; ++h) {
            EXPECT_EQ(p[static_cast<size_t>(h)],
                      ev.meanLevel(from, to, keyHz(static_cast<int>(key)) * h))
                << key << " " << from << "-" << to << " partial " << h;
        }
    }
    EXPECT_GT(ev.partialLevels(48, 100, 200)[1], 20.0f);
    EXPECT_EQ(ev.partialLevels(55, 450, 300)[1], 0.0f);
}

TEST(EvidenceLevels, FramesFoundWithAndWithoutGapsPeaksInAnyOrder) {
    // Frames every 10 ms with a gap (40 missing), one frame's peaks out of
    // frequency order and one with a NaN: every lookup as a plain search.
    PeakTable frames;
    frames.records.push_back({10, {220.0f, 440.0f, 660.0f}, {30.0f, 24.0f, 18.0f}});
    frames.records.push_back({20, {660.0f, 220.0f, 445.0f}, {17.0f, 29.0f, 23.0f}});
    frames.records.push_back({30, {std::nanf(""), 221.0f}, {40.0f, 28.0f}});
    frames.records.push_back({50, {219.0f, 441.0f}, {27.0f, 21.0f}});
    const SpectralEvidence ev(std::move(frames), PeakTable{}, 10);
    EXPECT_FLOAT_EQ(ev.levelAt(10, 440.0), 24.0f);
    EXPECT_FLOAT_EQ(ev.levelAt(15, 440.0), 23.0f);  // the frame at 20 (unsorted)
    EXPECT_FLOAT_EQ(ev.levelAt(20, 660.0), 17.0f);
    EXPECT_FLOAT_EQ(ev.levelAt(30, 220.0), 28.0f);      // the NaN is no peak
    EXPECT_FLOAT_EQ(ev.levelAt(40, 220.0), 0.0f);       // no frame at 40
    EXPECT_FLOAT_EQ(ev.levelAt(41, 220.0), 27.0f);      // the frame at 50
    EXPECT_FLOAT_EQ(ev.levelAt(50, 440.0, 3.0), 0.0f);  // 441 Hz is 4 cents off
    EXPECT_FLOAT_EQ(ev.levelAt(50, 440.0, 5.0), 21.0f);
    EXPECT_FLOAT_EQ(ev.levelAt(1, 220.0), 30.0f);  // within a frame before the first
    EXPECT_FLOAT_EQ(ev.levelAt(0, 220.0), 0.0f);   // a whole frame before
    EXPECT_FLOAT_EQ(ev.levelAt(60, 220.0), 0.0f);  // past the list
}

TEST(EvidenceLevels, FuzzFindingTheLastLabelAtTheTopOfInt32) {
    // A list whose last frame is labelled 2147483647 ends a frame later,
    // past the 32-bit range (it overflowed).
    PeakTable frames;
    frames.records.push_back({INT32_MAX, {220.0f}, {30.0f}});
    const SpectralEvidence ev(std::move(frames), PeakTable{}, 20);
    EXPECT_EQ(ev.endMs(), int64_t{INT32_MAX} + 20);
    EXPECT_FLOAT_EQ(ev.levelAt(INT32_MAX, 220.0), 30.0f);
}

TEST(EvidenceDoublings, APartialGoesADoublingStays) {
    // A note whose 16 partials fall smoothly, and its octave in the score.
    const std::vector<Partial> lower =
        harmonic(48, 100, 900, {30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15});
    const Notes score{{100, 900, 48, 100}, {100, 880, 60, 90}};
    const SpectralEvidence alone = evidenceOf(lower, 1000);
    EXPECT_FALSE(soundsOnItsOwn(alone, score[0], score[1], 2));
    EXPECT_EQ(keys(removeHarmonicGhosts(score, &alone)), (std::vector<int>{48}));
    // A real C4 lifts every even partial of C3 by its own.
    std::vector<Partial> both = lower;
    for (Partial& p : both) {
        if (std::lround(p.hz / keyHz(48)) % 2 == 0) p.level += 14.0f;
    }
    const SpectralEvidence doubled = evidenceOf(both, 1000);
    EXPECT_TRUE(soundsOnItsOwn(doubled, score[0], score[1], 2));
    EXPECT_EQ(keys(removeHarmonicGhosts(score, &doubled)), (std::vector<int>{48, 60}));
    // Without the lists the octave goes, as before.
    EXPECT_EQ(keys(removeHarmonicGhosts(score)), (std::vector<int>{48}));
}

TEST(EvidenceDoublings, OneLoudPartialIsNoNoteItsOwnPartialsDecide) {
    // A bass timbre whose 5th partial stands 14 dB out of the envelope (the
    // 10th and 15th do not): E3 over C2 is that partial, not a note.
    std::vector<Partial> bass =
        harmonic(36, 100, 900, {30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15});
    bass[4].level += 14.0f;
    const Notes score{{100, 900, 36, 100}, {100, 880, 64, 90}};
    const SpectralEvidence partial = evidenceOf(bass, 1000);
    EXPECT_FALSE(soundsOnItsOwn(partial, score[0], score[1], 5));
    EXPECT_EQ(keys(removeHarmonicGhosts(score, &partial)), (std::vector<int>{36}));
    // A real E3 brings its own partials (the 10th and 15th of C2) with it.
    for (size_t h : {9u, 14u}) bass[h].level += 14.0f;
    const SpectralEvidence note = evidenceOf(bass, 1000);
    EXPECT_TRUE(soundsOnItsOwn(note, score[0], score[1], 5));
    EXPECT_EQ(keys(removeHarmonicGhosts(score, &note)), (std::vector<int>{36, 64}));
    // Partials past the band the analysis covers (5.5 kHz) are not weighed:
    // over F#7 (2960 Hz) only the fundamental is, which cannot tell, however
    // loud the even partials past the band would say the octave is.
    const Notes high{{100, 900, 102, 100}, {100, 880, 114, 90}};
    const SpectralEvidence top =
        evidenceOf(harmonic(102, 100, 900, {30, 60, 0, 60, 0, 60, 0, 60}), 1000);
    EXPECT_FALSE(soundsOnItsOwn(top, high[0], high[1], 2));
}

TEST(EvidenceDoublings, AnOctaveEnteringOverAHeldNoteStartsWhereItEntered) {
    // C3 held from 100 ms; NoteFind dated the C4 from C3's 2nd partial.
    const std::vector<float> c3 = {30, 29, 28, 27, 26, 25, 24, 23, 22, 21, 20, 19, 18, 17, 16, 15};
    const Notes score{{100, 900, 48, 100}, {100, 880, 60, 90}};
    const SpectralEvidence held =
        evidenceOf(harmonic(48, 100, 900, {30, 29, 28, 27, 26, 25}), 1000);
    EXPECT_EQ(doublingEntry(held, score[0], score[1], 2), -1);
    EXPECT_EQ(keys(removeHarmonicGhosts(score, &held)), (std::vector<int>{48}));
    // A C4 struck at 400 ms: its partials lift C3's 2nd, 4th and 6th and bring
    // the 8th to 16th, which were not heard before.
    const SpectralEvidence entered =
        evidenceOf(harmonic(48, 100, 900, {30, 29, 28, 27, 26, 25}) +
                       harmonic(60, 400, 900, {34, 32, 30, 28, 26, 24, 22, 20}),
                   1000);
    const int64_t entry = doublingEntry(entered, score[0], score[1], 2);
    EXPECT_GE(entry, 360);
    EXPECT_LE(entry, 400);
    const Notes kept = removeHarmonicGhosts(score, &entered);
    ASSERT_EQ(keys(kept), (std::vector<int>{48, 60}));
    EXPECT_EQ(kept[1].onsetMs, entry);
    // Lasting 300 ms past the C3 it is a note of its own anyway; NoteFind
    // dated it from the partial, so it starts where it entered.
    const Notes longer{{100, 900, 48, 100}, {100, 1200, 60, 90}};
    const SpectralEvidence enteredLonger =
        evidenceOf(harmonic(48, 100, 900, {30, 29, 28, 27, 26, 25}) +
                       harmonic(60, 400, 1200, {34, 32, 30, 28, 26, 24, 22, 20}),
                   1300);
    const Notes own = removeHarmonicGhosts(longer, &enteredLonger);
    ASSERT_EQ(keys(own), (std::vector<int>{48, 60}));
    EXPECT_GE(own[1].onsetMs, 360);
    EXPECT_LE(own[1].onsetMs, 400);
    // Even partials that sound already and grow 20 dB (a brass note
    // brightening) are no entry: nothing appears out of nothing.
    std::vector<Partial> brighter = harmonic(48, 100, 400, c3);
    for (Partial& p : harmonic(48, 400, 900, c3)) {
        if (std::lround(p.hz / keyHz(48)) % 2 == 0) p.level += 20.0f;
        brighter.push_back(p);
    }
    EXPECT_EQ(doublingEntry(evidenceOf(brighter, 1000), score[0], score[1], 2), -1);
    // Partials that sound already and swell (a bow, a breath) are no entry.
    std::vector<Partial> swell = harmonic(48, 100, 900, c3);
    for (Partial& p : harmonic(48, 400, 900, c3)) {
        p.level += 14.0f;
        swell.push_back(p);
    }
    EXPECT_EQ(doublingEntry(evidenceOf(swell, 1000), score[0], score[1], 2), -1);
    // A C5 of the score entering then over the C4 is what rose.
    const Notes withC5{{100, 900, 48, 100}, {100, 880, 60, 90}, {400, 900, 72, 90}};
    const SpectralEvidence c5 = evidenceOf(
        harmonic(48, 100, 900, {30, 29, 28, 27, 26, 25}) + harmonic(72, 400, 900, {40, 38, 36, 34}),
        1000);
    EXPECT_EQ(keys(removeHarmonicGhosts(withC5, &c5)), (std::vector<int>{48, 72}));
}

TEST(EvidenceFundamentals, AddedOnlyWhereTheSpectrumHoldsThem) {
    // Partials 2, 3 and 5 of A#1 (34): the score-only rule adds it.
    const Notes score{{900, 1400, 46, 102}, {905, 1400, 53, 97}, {910, 1380, 62, 77}};
    ASSERT_EQ(addMissingFundamentals(score).size(), 4u);
    // A chord voiced like a harmonic series: no peak at 34 in any frame.
    const std::vector<Partial> chord = harmonic(46, 900, 1400, {25, 20}) +
                                       harmonic(53, 905, 1400, {24, 18}) +
                                       harmonic(62, 910, 1380, {20, 15});
    const SpectralEvidence noFundamental = evidenceOf(chord, 1500);
    EXPECT_FALSE(heardAsFundamental(noFundamental, 34, 900, 1400));
    EXPECT_EQ(addMissingFundamentals(score, &noFundamental).size(), 3u);
    // A weak fundamental under NoteFind's threshold, in a few frames.
    const SpectralEvidence weak =
        evidenceOf(chord + std::vector<Partial>{{900, 940, keyHz(34), 12}}, 1500);
    EXPECT_TRUE(heardAsFundamental(weak, 34, 900, 1400));
    EXPECT_EQ(addMissingFundamentals(score, &weak).size(), 4u);
    // With the fundamental heard, two partials (the octave and the twelfth)
    // are enough; the score alone needs three.
    const Notes two{{1000, 1500, 45, 100}, {1005, 1500, 52, 95}};
    EXPECT_EQ(addMissingFundamentals(two).size(), 2u);
    const SpectralEvidence a1 = evidenceOf(harmonic(33, 1000, 1500, {12, 30, 28, 20}), 1600);
    const Notes with = addMissingFundamentals(two, &a1);
    ASSERT_EQ(with.size(), 3u);
    EXPECT_EQ(
        std::count_if(with.begin(), with.end(), [](const ScoreNote& n) { return n.key == 33; }), 1);
    EXPECT_EQ(keys(removeHarmonicGhosts(with, &a1)), (std::vector<int>{33}));
}

TEST(EvidenceFundamentals, TheOctaveAloneStandsForAnInnerVoiceHeardBelowIt) {
    // F3 A-flat3 C4 heard as C4 with the octaves of F3 and A-flat3 (F4,
    // A-flat4): their fundamentals sound weakly from the start.
    const Notes chord{{1000, 1800, 60, 90}, {1000, 1800, 65, 70}, {1000, 1800, 68, 70}};
    const std::vector<Partial> heard = harmonic(60, 1000, 1800, {30, 20}) +
                                       harmonic(53, 1000, 1800, {14, 28}) +
                                       harmonic(56, 1000, 1800, {14, 28});
    const SpectralEvidence ev = evidenceOf(heard, 2000);
    EXPECT_EQ(addMissingFundamentals(chord).size(), 3u);  // the score alone cannot tell
    Notes with = removeHarmonicGhosts(addMissingFundamentals(chord, &ev), &ev);
    std::sort(with.begin(), with.end(),
              [](const ScoreNote& a, const ScoreNote& b) { return a.key < b.key; });
    EXPECT_EQ(keys(with), (std::vector<int>{53, 56, 60}));
    // F4 over a sounding F2: the peak at F3 is F2's 2nd partial, no note.
    const Notes bass{{1000, 1800, 41, 100}, {1000, 1800, 65, 80}};
    const SpectralEvidence low = evidenceOf(harmonic(41, 1000, 1800, {25, 28, 20, 26}), 2000);
    EXPECT_EQ(addMissingFundamentals(bass, &low).size(), 2u);
    // A C4 played 500 ms into a long C5: not the C5's fundamental.
    const SpectralEvidence later =
        evidenceOf(harmonic(72, 1000, 2000, {30, 20}) + harmonic(60, 1500, 2000, {12, 25}), 2100);
    EXPECT_EQ(addMissingFundamentals({{1000, 2000, 72, 100}}, &later).size(), 1u);
}

TEST(EvidenceFundamentals, BelowG2TheOddPartialsStandForAnUnheardFundamental) {
    // G1 (31) heard as its octave G2 (43, a note) with partials 3 and 5 as
    // weak peaks and no peak at G1 itself.
    const Notes score{{1000, 1600, 43, 100}};
    const auto heard = [](std::vector<float> levels) {
        return evidenceOf(harmonic(31, 1000, 1600, std::move(levels)), 1700);
    };
    const SpectralEvidence odd = heard({0, 30, 26, 24, 20, 18});
    EXPECT_TRUE(oddPartialsHeard(odd, 31, 1000, 1200));
    Notes with = removeHarmonicGhosts(addMissingFundamentals(score, &odd), &odd);
    EXPECT_EQ(keys(with), (std::vector<int>{31}));
    // Even partials only: G2 itself, with its own partials 2 and 3.
    const SpectralEvidence even = heard({0, 30, 0, 24, 0, 18});
    EXPECT_FALSE(oddPartialsHeard(even, 31, 1000, 1200));
    EXPECT_EQ(keys(addMissingFundamentals(score, &even)), (std::vector<int>{43}));
    // The 3rd partial's pitch is a note of the score (a fifth above G2):
    // G2 and D3 with partials of their own only, no peak at G1's 5th
    // partial (B3): two notes.
    const Notes fifth{{1000, 1600, 43, 100}, {1000, 1600, 50, 90}};
    const SpectralEvidence dyad = evidenceOf(
        harmonic(43, 1000, 1600, {30, 24, 18}) + harmonic(50, 1000, 1600, {26, 20}), 1700);
    EXPECT_FALSE(partialsHeard(dyad, 31, {5}, 1000, 1200));
    EXPECT_EQ(keys(addMissingFundamentals(fifth, &dyad)), (std::vector<int>{43, 50}));
    // Over G1's series the 5th partial is a peak that neither note has: G1.
    EXPECT_TRUE(partialsHeard(odd, 31, {5}, 1000, 1200));
    with = removeHarmonicGhosts(addMissingFundamentals(fifth, &odd), &odd);
    EXPECT_EQ(keys(with), (std::vector<int>{31}));
}

TEST(EvidenceFundamentals, BelowG2ANoteASemitoneOffIsTheFundamentalMispitched) {
    // G1 (31) heard as G2 and D3 (partials 2 and 3) with F#1 (30) starting
    // with them, longer than a flicker: G1's peak fell between semitones.
    const SpectralEvidence g1 = evidenceOf(harmonic(31, 1000, 1600, {0, 30, 26, 24, 20}), 1700);
    const Notes offPitch{{1000, 1600, 43, 100}, {1000, 1600, 50, 90}, {1000, 1100, 30, 80}};
    const Notes with = addMissingFundamentals(offPitch, &g1);
    EXPECT_EQ(
        std::count_if(with.begin(), with.end(), [](const ScoreNote& n) { return n.key == 31; }), 1);
    // Without the lists, or with F1 (29), a whole tone off, starting there:
    // another note, no G1.
    EXPECT_EQ(addMissingFundamentals(offPitch).size(), 3u);
    const Notes wholeTone{{1000, 1600, 43, 100}, {1000, 1600, 50, 90}, {1000, 1100, 29, 80}};
    EXPECT_EQ(addMissingFundamentals(wholeTone, &g1).size(), 3u);
}

TEST(EvidenceFundamentals, BelowG2TheEvenPartialsTellATwelfthFromItsFundamental) {
    // A1 (33) heard as its 3rd partial E3 (52, a note) with partials 2 and 4
    // (A2, A3) as peaks and no peak at A1 itself.
    const Notes score{{1000, 1500, 52, 100}};
    const SpectralEvidence a1 = evidenceOf(harmonic(33, 1000, 1500, {0, 24, 30, 22, 18}), 1600);
    EXPECT_TRUE(partialsHeard(a1, 33, {2, 4}, 1000, 1200));
    EXPECT_EQ(keys(removeHarmonicGhosts(addMissingFundamentals(score, &a1), &a1)),
              (std::vector<int>{33}));
    // E3 itself: its partials 2 and 3 are no multiples of A1 but 6: no A2, A3.
    const SpectralEvidence e3 = evidenceOf(harmonic(52, 1000, 1500, {30, 24, 18}), 1600);
    EXPECT_FALSE(partialsHeard(e3, 33, {2, 4}, 1000, 1200));
    EXPECT_EQ(keys(addMissingFundamentals(score, &e3)), (std::vector<int>{52}));
    // A right hand starting with it (A#4) changes nothing below G2.
    const Notes withMelody{{1000, 1500, 52, 100}, {1000, 1400, 70, 90}};
    std::vector<int> found =
        keys(removeHarmonicGhosts(addMissingFundamentals(withMelody, &a1), &a1));
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<int>{33, 70}));
    // A2 sounding as a note of its own: the peaks at A2 and A3 are its own.
    const Notes withA2{{600, 1500, 45, 100}, {1000, 1500, 52, 90}};
    EXPECT_EQ(addMissingFundamentals(withA2, &a1).size(), 2u);
}

TEST(EvidenceFundamentals, AboveG2ATwelfthOverItsHeardFundamentalIsThatFundamental) {
    // A clarinet's F5 (77): the 3rd partial C7 (96) passed as the only note,
    // the fundamental and the 2nd partial stayed under NoteFind's loudness.
    const Notes score{{1000, 1080, 96, 110}};
    const SpectralEvidence f5 = evidenceOf(harmonic(77, 1000, 1090, {25, 30, 39, 25}), 1600);
    const Notes found = removeHarmonicGhosts(addMissingFundamentals(score, &f5), &f5);
    EXPECT_EQ(keys(found), (std::vector<int>{77}));
    // Its end comes from the partials that started with it (the tracks of
    // F6 and C7 end at 1090), plus the share of a track stopping loud.
    EXPECT_EQ(endsFromEnvelope(f5, found, 31)[0].offsetMs, 1090 + 31);
    // Without a peak at the fundamental it is a C7 of its own.
    const SpectralEvidence c7 = evidenceOf(harmonic(77, 1000, 1090, {0, 30, 39, 25}), 1600);
    EXPECT_EQ(keys(addMissingFundamentals(score, &c7)), (std::vector<int>{96}));
    // Nor with an F6 of the score sounding since before: the even partial
    // is that note's own.
    const Notes withF6{{600, 1080, 89, 100}, {1000, 1080, 96, 110}};
    EXPECT_EQ(addMissingFundamentals(withF6, &f5).size(), 2u);
}

TEST(EvidenceFundamentals, NoFundamentalAddedUnderANoteEnteringOverItsHeldFundamental) {
    // F3 held from 100 ms; a C5 (its 3rd partial) enters at 400 ms. The F3
    // sounds already: no second F3 starts with the C5, which would then pass
    // for its partial and take it away.
    const Notes score{{100, 900, 53, 100}, {400, 900, 72, 90}};
    const SpectralEvidence ev =
        evidenceOf(harmonic(53, 100, 900, {30, 29, 28, 27, 26, 25, 24, 23}) +
                       harmonic(72, 400, 900, {36, 30, 26, 22}),
                   1000);
    const Notes added = addMissingFundamentals(score, &ev);
    EXPECT_EQ(added.size(), 2u);
    const Notes found = removeHarmonicGhosts(added, &ev);
    ASSERT_EQ(keys(found), (std::vector<int>{53, 72}));
    EXPECT_EQ(found[1].onsetMs, 400);
    // An F3 that ended before the C5 is no reason (nor a longer one later):
    // there the C5 over its own heard fundamental is that fundamental.
    const Notes ended{{100, 300, 53, 100}, {400, 480, 72, 90}, {2000, 2900, 53, 100}};
    const SpectralEvidence alone = evidenceOf(harmonic(53, 100, 300, {30, 29, 28, 27}) +
                                                  harmonic(53, 400, 490, {25, 30, 39, 25}) +
                                                  harmonic(53, 2000, 2900, {30, 29, 28, 27}),
                                              3000);
    EXPECT_EQ(keys(removeHarmonicGhosts(addMissingFundamentals(ended, &alone), &alone)),
              (std::vector<int>{53, 53, 53}));
}

TEST(EvidenceFundamentals, AFundamentalUnderTheFundamentalsFound) {
    // A trumpet's A#3 (58) whose fundamental and octave stayed under the
    // loudness test: NoteFind wrote its 3rd partial F5 (77) and a flicker of
    // its 4th, A#5 (82). The octave alone brings A#4 (70), heard as a peak;
    // A#4 and F5 are then partials 2 and 3 of the A#3, whose fundamental is
    // heard too.
    RefineScore score;
    score.notes = {{1000, 1500, 77, 70}, {1010, 1050, 82, 66}};
    const SpectralEvidence ev =
        evidenceOf(harmonic(58, 1000, 1500, {15, 18, 35, 30, 20, 15}), 1600);
    const Notes once = removeHarmonicGhosts(addMissingFundamentals(score.notes, &ev), &ev);
    EXPECT_EQ(keys(once), (std::vector<int>{77, 70}));
    RefineOptions options;
    options.evidence = &ev;
    EXPECT_EQ(keys(refineScore(score, options).notes), (std::vector<int>{58}));
    // Without a peak at A#3 the A#4 and F5 stay.
    const SpectralEvidence noFundamental =
        evidenceOf(harmonic(58, 1000, 1500, {0, 18, 35, 30, 20, 15}), 1600);
    options.evidence = &noFundamental;
    std::vector<int> found = keys(refineScore(score, options).notes);
    std::sort(found.begin(), found.end());
    EXPECT_EQ(found, (std::vector<int>{70, 77}));
}

TEST(EvidenceHeldNotes, AGlideIntoAFundamentalFoundIsThatNote) {
    // A sung D3 (50) that starts with a glide from 40 cents over C#3; of the
    // D3 itself NoteFind wrote its partials 2 and 3 (D4, A4), its
    // fundamental is heard but quiet.
    std::vector<Partial> glide = harmonic(49, 100, 240, {28, 24, 20});
    for (Partial& p : glide) p.cents = 40;
    const SpectralEvidence ev = evidenceOf(glide + harmonic(50, 240, 600, {15, 30, 28, 20}), 700);
    RefineScore score;
    score.notes = {{100, 230, 49, 90}, {240, 600, 62, 90}, {240, 600, 69, 95}};
    RefineOptions options;
    options.evidence = &ev;
    options.shortTermEstimation = false;
    const RefineScore r = refineScore(score, options);
    ASSERT_EQ(keys(r.notes), (std::vector<int>{50}));
    // From the glide's start, less the analysis latency (5 ms).
    EXPECT_EQ(r.notes[0].onsetMs, 95);
}

TEST(EvidenceDoublings, APartialThatOutlastsItsNoteIsStillAPartial) {
    // A D4 whose fundamental's track ends at 1200 while its 2nd partial
    // sounds on to 1290: NoteFind wrote D4 1110-1200 and D5 1080-1290. The
    // D4 covers less than half of the D5, yet the D5 started with it.
    const Notes score{{1110, 1200, 62, 79}, {1080, 1290, 74, 86}};
    std::vector<Partial> d4 = harmonic(62, 1080, 1200, {30, 0, 22, 18, 14});
    d4.push_back({1080, 1290, keyHz(62) * 2, 33});
    const SpectralEvidence ev = evidenceOf(d4, 1400);
    EXPECT_EQ(keys(removeHarmonicGhosts(score, &ev)), (std::vector<int>{62}));
    // From the score alone it stays.
    EXPECT_EQ(removeHarmonicGhosts(score, nullptr).size(), 2u);
    // A D5 struck with the D4, whose own partials lift the D4's even ones,
    // stays.
    const SpectralEvidence doubled =
        evidenceOf(harmonic(62, 1080, 1200, {24, 0, 20, 0, 18, 0, 16, 0, 14, 0, 13, 0, 12, 0, 11}) +
                       harmonic(74, 1080, 1290, {36, 34, 32, 30, 28, 26, 24, 22}),
                   1400);
    EXPECT_EQ(keys(removeHarmonicGhosts(score, &doubled)), (std::vector<int>{62, 74}));
    // A D5 that outlasts its D4 by 900 ms is a note of its own, also when
    // the piece plays D4 again later.
    const Notes longer{{1000, 1100, 62, 86}, {1000, 2000, 74, 86}, {5000, 5500, 62, 86}};
    std::vector<Partial> held = harmonic(62, 1000, 1100, {30, 0, 22, 18, 14});
    held.push_back({1000, 2000, keyHz(62) * 2, 33});
    const SpectralEvidence heldEv =
        evidenceOf(held + harmonic(62, 5000, 5500, {30, 25, 22, 18, 14}), 5600);
    EXPECT_EQ(keys(removeHarmonicGhosts(longer, &heldEv)), (std::vector<int>{62, 74, 62}));
    // Starting 100 ms after the D4 is no start with it: covering less than
    // half of the D5, the D4 leaves it alone.
    const Notes later{{1000, 1244, 62, 86}, {1100, 1390, 74, 86}};
    std::vector<Partial> after = harmonic(62, 1000, 1244, {30, 0, 22, 18, 14});
    after.push_back({1000, 1390, keyHz(62) * 2, 33});
    const SpectralEvidence afterEv = evidenceOf(after, 1500);
    EXPECT_EQ(keys(removeHarmonicGhosts(later, &afterEv)), (std::vector<int>{62, 74}));
}

TEST(EvidenceHeldNotes, AQuieterPieceStruckAgainIsNoDropout) {
    // Two pieces of E4 10 ms apart, the second 20 steps quieter: by the
    // score alone a dropout, one note.
    const Notes pieces{{460, 680, 64, 110}, {690, 830, 64, 90}};
    EXPECT_EQ(mergeSplitNotes(pieces).size(), 1u);
    // The lists hear one sound going on: one note.
    const SpectralEvidence held = evidenceOf(harmonic(64, 460, 830, {40, 35, 30}, 0.1f), 900);
    EXPECT_EQ(mergeSplitNotes(pieces, &held).size(), 1u);
    // They hear the sound die away and rise again at 690: struck again.
    const SpectralEvidence again = evidenceOf(
        harmonic(64, 460, 670, {40, 35, 30}, 1.0f) + harmonic(64, 690, 830, {36, 31, 26}), 900);
    const Notes two = mergeSplitNotes(pieces, &again);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].onsetMs, 690);
}

TEST(EvidenceHeldNotes, PiecesOfOneSoundJoinAttacksStayApart) {
    // A held note split in two by the analysis: one steady sound.
    const Notes split{{100, 400, 60, 100}, {430, 800, 60, 100}};
    const SpectralEvidence steady = evidenceOf(harmonic(60, 100, 800, {30, 25, 20}), 900);
    const Notes joined = joinHeldNotes(steady, split);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].offsetMs, 800);
    // The same note struck again: the level rises 15 dB at 430.
    const SpectralEvidence struck = evidenceOf(
        harmonic(60, 100, 400, {20, 15, 12}) + harmonic(60, 430, 800, {35, 30, 25}), 900);
    EXPECT_EQ(joinHeldNotes(struck, split).size(), 2u);
    // The same note struck again where the analysis heard nothing for two
    // frames and the new attack takes three to rise (as in
    // examples/melody.wav): still an attack, two notes.
    const SpectralEvidence again =
        evidenceOf(harmonic(64, 30, 500, {49, 49, 49}, 0.2f) +
                       harmonic(64, 520, 530, {36, 36, 36}) + harmonic(64, 530, 960, {47, 47, 47}),
                   1000);
    EXPECT_TRUE(attackAt(again, 510, keyHz(64)));
    EXPECT_EQ(joinHeldNotes(again, {{30, 490, 64, 126}, {510, 960, 64, 126}}).size(), 2u);
    // A sung note between C#3 and D3 (49.6), heard as two pieces.
    std::vector<Partial> sung = harmonic(49, 100, 300, {30, 25, 20});
    for (Partial& p : sung) p.cents = 45;
    std::vector<Partial> rest = harmonic(50, 300, 600, {30, 25, 20});
    for (Partial& p : rest) p.cents = -30;
    const SpectralEvidence voice = evidenceOf(sung + rest, 700);
    const Notes pieces = joinHeldNotes(voice, {{100, 300, 49, 100}, {300, 600, 50, 100}});
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].key, 50);  // the mean pitch, 49.6, rounds to D3
    EXPECT_EQ(pieces[0].onsetMs, 100);
    EXPECT_EQ(pieces[0].offsetMs, 600);
    // A scoop: 100 ms swelling up from just above C#3 (49.1) into a long D3
    // sung 30 cents flat (49.7): one note, D3, from the scoop's start.
    const auto sung2 = [](double scoopCents) {
        std::vector<Partial> scoop = harmonic(49, 100, 200, {15, 10, 8});
        for (Partial& p : scoop) p.cents = scoopCents;
        std::vector<Partial> sustained = harmonic(50, 200, 700, {30, 25, 20});
        for (Partial& p : sustained) p.cents = -30;
        return evidenceOf(scoop + sustained, 800);
    };
    const Notes twoPieces{{100, 200, 49, 90}, {200, 700, 50, 100}};
    const Notes sungNote = joinHeldNotes(sung2(10), twoPieces);
    ASSERT_EQ(sungNote.size(), 1u);
    EXPECT_EQ(sungNote[0].key, 50);
    EXPECT_EQ(sungNote[0].onsetMs, 100);
    // From 48.8, 0.9 semitones under it, it is a short note of its own.
    EXPECT_EQ(joinHeldNotes(sung2(-20), twoPieces).size(), 2u);
    // A slurred semitone step: two tempered pitches, two notes.
    const SpectralEvidence legato = evidenceOf(
        harmonic(60, 100, 400, {30, 25, 20}) + harmonic(61, 400, 700, {30, 25, 20}), 800);
    EXPECT_EQ(joinHeldNotes(legato, {{100, 400, 60, 100}, {400, 700, 61, 100}}).size(), 2u);
}

TEST(EvidenceHeldNotes, ALongerGapJoinsOnlyWhenTheSoundWentOnThroughIt) {
    // C4 sounds on from 100 to 900 ms; its track broke at 400 and the score
    // lost 400 to 600 (200 ms, longer than kHeldGapMs).
    const Notes score{{100, 400, 60, 100}, {600, 900, 60, 90}};
    const SpectralEvidence broken =
        evidenceOf({{100, 400, keyHz(60), 30}, {400, 900, keyHz(60), 30}}, 1000);
    EXPECT_TRUE(heardThroughout(broken, 60, 400, 590));
    const Notes joined = joinHeldNotes(broken, score);
    ASSERT_EQ(joined.size(), 1u);
    EXPECT_EQ(joined[0].offsetMs, 900);
    // A rest between them: two notes, even when the second is too quiet to
    // count as an attack.
    const SpectralEvidence rest =
        evidenceOf({{100, 400, keyHz(60), 30}, {600, 900, keyHz(60), 12}}, 1000);
    EXPECT_FALSE(heardThroughout(rest, 60, 400, 590));
    EXPECT_EQ(joinHeldNotes(rest, score).size(), 2u);
    // Past the lists nothing is heard.
    EXPECT_FALSE(heardThroughout(broken, 60, 900, 1200));
}

TEST(EvidenceHeldNotes, AQuieterTrackCarriesTheNoteOn) {
    // The note's own track ends at 500; a quieter track at its pitch (too
    // quiet for NoteFind) carries the sound on to 900.
    const std::vector<Partial> held = {{100, 500, keyHz(45), 30, 0.05f},
                                       {520, 900, keyHz(45), 22, 0.0f}};
    const SpectralEvidence ev = evidenceOf(held, 1000);
    EXPECT_EQ(ev.continuedEnd(45, 500, INT64_MAX), 900);
    EXPECT_EQ(ev.continuedEnd(45, 500, 700), 700);  // up to the next note of that key
    EXPECT_EQ(ev.continuedEnd(45, 500, 530), 530);  // however soon it comes
    // A track that starts 10 dB louder is struck anew: it carries nothing on.
    const SpectralEvidence struck =
        evidenceOf({{100, 500, keyHz(45), 20, 0.0f}, {520, 900, keyHz(45), 32, 0.0f}}, 1000);
    EXPECT_EQ(struck.continuedEnd(45, 500, INT64_MAX), 500);
    // Nor does a track of another pitch, or one after a long silence.
    EXPECT_EQ(ev.continuedEnd(46, 500, INT64_MAX), 500);
    EXPECT_EQ(evidenceOf({{100, 500, keyHz(45), 30}, {700, 900, keyHz(45), 22}}, 1000)
                  .continuedEnd(45, 500, INT64_MAX),
              500);
}

TEST(EvidenceShortNotes, StaccatoStaysFlickersGo) {
    // A 50 ms note with an attack, alone: kept (removeFlickers drops it).
    const Notes staccato{{300, 350, 67, 100}};
    const SpectralEvidence ev = evidenceOf(harmonic(67, 300, 350, {30, 25}), 500);
    EXPECT_TRUE(removeFlickers(staccato).empty());
    EXPECT_EQ(keys(keepShortNotes(ev, staccato)), (std::vector<int>{67}));
    // The same beside a long note a semitone away: a flicker of its attack.
    const Notes beside{{300, 350, 67, 100}, {290, 900, 68, 100}};
    const SpectralEvidence both =
        evidenceOf(harmonic(67, 300, 350, {30, 25}) + harmonic(68, 290, 900, {35, 30}), 1000);
    EXPECT_EQ(keys(keepShortNotes(both, beside)), (std::vector<int>{68}));
}

TEST(EvidenceStarts, ASoftAttackStartsWhereItsRiseLeftTheFloor) {
    // A breathed note: its track begins at 16 dB at 300 ms and rises 3 dB a
    // frame for 80 ms, longer than a 46 ms window smears any attack (5
    // frames of 10 ms): it left the 10 dB floor two frames before.
    std::vector<Partial> rise;
    for (int i = 0; i < 9; ++i) {
        rise.push_back(
            {300 + 10 * i, 310 + 10 * i, keyHz(81), 16.0f + 3.0f * static_cast<float>(i)});
    }
    rise.push_back({390, 800, keyHz(81), 40});
    const SpectralEvidence breathed = evidenceOf(rise, 900);
    EXPECT_EQ(softAttackStarts(breathed, {{300, 800, 81, 100}}, 46.4)[0].onsetMs, 280);
    // A struck note at its loudest within the window's smear stays.
    std::vector<Partial> struck;
    for (int i = 0; i < 3; ++i) {
        struck.push_back(
            {300 + 10 * i, 310 + 10 * i, keyHz(81), 26.0f + 7.0f * static_cast<float>(i)});
    }
    struck.push_back({330, 800, keyHz(81), 40, 0.1f});  // (a rise of 7 dB a frame from 26)
    EXPECT_EQ(softAttackStarts(evidenceOf(struck, 900), {{300, 800, 81, 100}}, 46.4)[0].onsetMs,
              300);
    // A swell that starts just over the floor (11 dB, 1.5 dB a frame) left
    // it less than a frame before: it stays.
    std::vector<Partial> swell;
    for (int i = 0; i < 9; ++i) {
        swell.push_back(
            {300 + 10 * i, 310 + 10 * i, keyHz(81), 11.0f + 1.5f * static_cast<float>(i)});
    }
    EXPECT_EQ(softAttackStarts(evidenceOf(swell, 900), {{300, 390, 81, 100}}, 46.4)[0].onsetMs,
              300);
}

TEST(EvidenceEnds, AReleaseEndsTheNoteASlowDecayDoesNot) {
    // Steady, then released at 600: the level falls 3 dB a frame, the
    // track follows the tail down to the threshold (about 700).
    const std::vector<Partial> released = {{100, 600, keyHz(64), 40},
                                           {600, 900, keyHz(64), 40, 3.0f}};
    const SpectralEvidence ev = evidenceOf(released, 1000);
    const Notes n = endsFromEnvelope(ev, {{100, 700, 64, 100}}, 31);
    ASSERT_EQ(n.size(), 1u);
    // Ended with the frame of 610, the last within 3 dB of the held level,
    // plus the frame's share of the latency.
    EXPECT_EQ(n[0].offsetMs, 620 + 31);
    // A piano-like decay of 0.3 dB a frame: no release before the end.
    const SpectralEvidence decaying = evidenceOf({{100, 900, keyHz(64), 40, 0.3f}}, 1000);
    EXPECT_EQ(endsFromEnvelope(decaying, {{100, 700, 64, 100}}, 31)[0].offsetMs, 700);
    // A struck note that decays fast (0.8 dB a frame), then faster (3 dB
    // a frame, the damper) from 400: it was not held, so no release.
    const SpectralEvidence struck =
        evidenceOf({{100, 400, keyHz(64), 50, 0.8f}, {400, 900, keyHz(64), 26, 3.0f}}, 1000);
    EXPECT_EQ(endsFromEnvelope(struck, {{100, 480, 64, 100}}, 31)[0].offsetMs, 480);
    // A track that stops while still loud (staccato) ends with the sound.
    const SpectralEvidence staccato = evidenceOf({{100, 300, keyHz(64), 40}}, 1000);
    EXPECT_EQ(endsFromEnvelope(staccato, {{100, 300, 64, 100}}, 31)[0].offsetMs, 331);
    // A note with no track of its own (an added fundamental) keeps its end.
    EXPECT_EQ(endsFromEnvelope(ev, {{100, 700, 40, 100}}, 31)[0].offsetMs, 700);
}

TEST(EvidenceEnds, AHeldNoteEndsWhereItsSlowerReleaseBegins) {
    // An organ note held at 40 dB to 600 ms, then dying away at 0.6 dB a
    // frame (60 dB a second) into the room until it passes under 10 dB.
    const SpectralEvidence organ =
        evidenceOf({{100, 600, keyHz(58), 40}, {600, 1200, keyHz(58), 40, 0.6f}}, 1300);
    // Ended with the frame of 650, the last within 3 dB of the held level,
    // plus the frame's share of the latency (the track ran to 1110).
    EXPECT_EQ(endsFromEnvelope(organ, {{100, 1110, 58, 100}}, 31)[0].offsetMs, 660 + 31);
    // A note that first sank 7.5 dB in 300 ms, then faster: it was not
    // held before its fall, so no release is found there.
    const SpectralEvidence sinking =
        evidenceOf({{100, 400, keyHz(58), 40, 0.25f}, {400, 1200, keyHz(58), 32.5f, 0.6f}}, 1300);
    EXPECT_EQ(endsFromEnvelope(sinking, {{100, 780, 58, 100}}, 31)[0].offsetMs, 780);
    // A piano note decaying at 0.6 dB a frame from its start has no held
    // sound before any point: it keeps its track's end.
    const SpectralEvidence piano = evidenceOf({{100, 1200, keyHz(58), 40, 0.6f}}, 1300);
    EXPECT_EQ(endsFromEnvelope(piano, {{100, 610, 58, 100}}, 31)[0].offsetMs, 610);
}

TEST(EvidenceEnds, PartialsStartedWithANoteCarryItOnWhenItsOwnTrackFades) {
    // C3 fades under the analysis floor at 500 ms while its 2nd partial,
    // started with it, sounds on to 1010 ms (a fundamental hidden by its
    // neighbours in a chord, or quieter than its partials).
    const SpectralEvidence ev =
        evidenceOf({{100, 1100, keyHz(48), 30, 0.5f}, {100, 1100, keyHz(60), 28, 0.2f}}, 1200);
    // (the partial's last frame, still 10 dB, is the one from 1000 ms)
    EXPECT_EQ(endsFromEnvelope(ev, {{100, 500, 48, 100}}, 31)[0].offsetMs, 1010);
    // A C4 of the score starting with it is a note of its own: its track
    // says nothing about the C3.
    const Notes octave = endsFromEnvelope(ev, {{100, 500, 48, 100}, {100, 1000, 60, 90}}, 31);
    EXPECT_EQ(octave[0].offsetMs, 500);
    // The next C3 ends it.
    EXPECT_EQ(endsFromEnvelope(ev, {{100, 500, 48, 100}, {700, 1000, 48, 90}}, 31)[0].offsetMs,
              700);
    // The same 2nd partial heard as peaks only (too quiet for a track):
    // it carries the note while the note's own track faded ...
    const SpectralEvidence peaks = evidenceOf(
        {{100, 1100, keyHz(48), 30, 0.5f}, {100, 1100, keyHz(60), 28, 0.2f, 0.0, false}}, 1200);
    EXPECT_EQ(endsFromEnvelope(peaks, {{100, 500, 48, 100}}, 31)[0].offsetMs, 1010);
    // ... but not a note whose track stopped while loud (staccato), nor
    // past a C4 of the score, whose own partial it is then.
    const SpectralEvidence stopped =
        evidenceOf({{100, 300, keyHz(48), 30}, {100, 1100, keyHz(60), 28, 0.2f, 0.0, false}}, 1200);
    EXPECT_EQ(endsFromEnvelope(stopped, {{100, 300, 48, 100}}, 31)[0].offsetMs, 300 + 31);
    EXPECT_EQ(endsFromEnvelope(peaks, {{100, 500, 48, 100}, {700, 1000, 60, 90}}, 31)[0].offsetMs,
              700);
    // Under a C1 of the score sounding all along, whose 8th partial is C4,
    // the peaks may be that note's.
    const Notes overC1{{0, 1200, 24, 100}, {100, 500, 48, 100}};
    EXPECT_EQ(endsFromEnvelope(peaks, overC1, 31)[1].offsetMs, 500);
    // A C2 of the score entering at 700 has C4 among its partials: the
    // peaks are its own from there.
    EXPECT_EQ(endsFromEnvelope(peaks, {{100, 500, 48, 100}, {700, 1000, 36, 90}}, 31)[0].offsetMs,
              700);
    // A note of the score running on far past the lists (an added
    // fundamental without a track of its own) costs no memory for it.
    EXPECT_EQ(endsFromEnvelope(peaks, {{100, int64_t{1} << 40, 40, 100}}, 31)[0].offsetMs,
              int64_t{1} << 40);
    // A partial that started later belongs to something else.
    const SpectralEvidence later =
        evidenceOf({{100, 1100, keyHz(48), 30, 0.5f}, {300, 1100, keyHz(60), 28, 0.2f}}, 1200);
    EXPECT_EQ(endsFromEnvelope(later, {{100, 500, 48, 100}}, 31)[0].offsetMs, 500);
}

TEST(EvidenceFiles, ReadsTheListsAndSaysWhatIsWrong) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("evidence_test_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const std::string peaks = (dir / "SpecScan.txt").string();
    const std::string tracks = (dir / "TrackJoin.txt").string();
    auto write = [](const std::string& path, const std::vector<PeakRecord>& records) {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        writeRewrittenLine1(f, 40.0, 10.0);
        writeHeaderLines2to4(f, 10, static_cast<int32_t>(records.size()), "x.wav");
        for (const PeakRecord& r : records)
            writeRecord(f, r.label, r.freqs.data(), r.levels.data(), r.freqs.size());
        writeEndOfFile(f);
        std::fclose(f);
    };
    write(peaks, {{10, {220.0f, 440.0f}, {30.0f, 20.0f}}, {20, {220.0f}, {29.0f}}});
    write(tracks, {{10, {220.0f, 220.0f}, {30.0f, 29.0f}}});
    auto ev = loadSpectralEvidence(peaks, tracks);
    ASSERT_TRUE(ev) << ev.message();
    EXPECT_EQ((*ev)->frameMs(), 10);
    EXPECT_FLOAT_EQ((*ev)->levelAt(20, 220.0), 29.0f);
    EXPECT_FLOAT_EQ((*ev)->envelope(57, 10, 20)[1], 29.0f);
    const auto missing = loadSpectralEvidence((dir / "none.txt").string(), tracks);
    ASSERT_FALSE(missing);
    EXPECT_NE(missing.message().find("none.txt"), std::string::npos) << missing.message();
    {
        std::ofstream cut(tracks, std::ios::binary | std::ios::trunc);
        cut << "MaxdB: 40.00 MindB: 10.00  \nFrameRate: 10 LoopCount: 1\nx.wav\n---\n10: 220.00 ";
    }
    const auto cutShort = loadSpectralEvidence(peaks, tracks);
    ASSERT_FALSE(cutShort);
    EXPECT_NE(cutShort.message().find("TrackJoin.txt"), std::string::npos) << cutShort.message();
    fs::remove_all(dir);
}

}  // namespace
}  // namespace sonvola
