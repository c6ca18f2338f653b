// sonvola-refine: a stage between NoteFind and ScoreToSmf that reads a score
// text and writes a refined one in the same format. Its rules, each a small
// function with its thresholds named below, run in this order:
//   - mergeSplitNotes: a note interrupted by a dropout at the same pitch and
//     a similar loudness is one note;
//   - removeHarmonicGhosts: a note that sounds at a partial's interval above
//     a louder (or comparably loud) note covering most of its span is that
//     note's partial, not a note of its own;
//   - addMissingFundamentals: partials that sound together without their
//     fundamental stand for it (then the harmonic-ghost rule removes them);
//   - removeFlickers: notes too short to be played notes go;
//   - shiftEarlier, the analysis latency: every note moves earlier by the
//     delay with which the analysis dates what it hears.
// With the run's peak and track lists (RefineOptions::evidence) the rules of
// tools/evidence.h join in: held notes after the first merge, the sound's
// say in the ghosts and the fundamentals, short notes with an attack kept
// from the flickers, and the ends at the releases before the latency.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"

namespace sonvola {

class SpectralEvidence;  // tools/evidence.h

struct ScoreNote {
    int64_t onsetMs = 0;
    int64_t offsetMs = 0;
    int key = 0;  // MIDI key
    int velocity = 0;
};

struct RefineScore {
    std::string tempo = "120", numerator = "4", denominator = "4", program = "1";
    std::vector<ScoreNote> notes;  // in the order of their note-ons
};

// Reads a score text as NoteFind writes it (any layout of the tokens).
Result<RefineScore> readRefineScore(const std::string& text);
// Writes it back in NoteFind's layout.
std::string writeRefineScore(const RefineScore& score);

// Harmonic ghosts. Intervals of the 2nd to 8th partials above a fundamental.
inline constexpr int kPartialIntervals[] = {12, 19, 24, 28, 31, 34, 36};
// The lower note must cover this share of the upper note's span, or, with
// the lists, start with it (within kTogetherMs).
inline constexpr double kGhostOverlapShare = 0.5;
// A partial can be this much louder (in NoteFind's volume, about 4 per dB
// near full level) than its fundamental: brass and bowed strings put ten
// dB more into their second to fourth partials. A note louder still above
// it is a note of its own.
inline constexpr int kGhostLouderMargin = 45;
// An upper note that starts this much earlier or ends this much later than
// the lower one is a note of its own (a real octave or chord).
inline constexpr int64_t kGhostOwnStartMs = 60;
inline constexpr int64_t kGhostOwnEndMs = 150;
// With `evidence`, a note that the rule would remove stays when the sound
// says it is a note of its own (soundsOnItsOwn in tools/evidence.h).
std::vector<ScoreNote> removeHarmonicGhosts(const std::vector<ScoreNote>& notes,
                                            const SpectralEvidence* evidence = nullptr);

// Missing fundamentals. Partials 2, 3, 4 (or 5) of a fundamental that sound together
// without it, as low notes give them (a 512-sample frame barely resolves
// them), stand for that fundamental: a note is added there, and the ghost rule then
// removes the partials. Notes belong together when their onsets lie within
// kTogetherMs.
inline constexpr int64_t kTogetherMs = 60;
// Below about 100 Hz (G2, MIDI 43) fundamentals go unresolved most often,
// and their partials come out as fragments scattered over the attack: there
// any three partials stand for the fundamental, one of them the 2nd (close
// chords are partials too: C4 E4 G4 are partials 4 to 6 of C2, G3 C4 E4
// partials 3 to 5, but neither holds the 2nd), with nothing but flickers
// starting with them that is not a partial. Above, partials 2 to 5 must be all that starts at that
// moment (three, or two: a brass or string note whose fundamental stayed below the loudness test),
// so that a chord such as C4 E4 G4 is never taken for partials of C3.
inline constexpr int kMaxMissingFundamentalKey = 43;
// With the peak and track lists, a note there within this many semitones of
// the fundamental starting with its partials is that fundamental heard off
// pitch (a frame that cannot resolve it from its neighbours puts its peak
// between semitones), not another note: it does not keep the fundamental
// out. On the bench it lifts the two hands on piano (TimGM6mb) from 0.79 to
// 0.89 onset F1 and the low piano part from 0.41 to 0.46; nothing else moves.
inline constexpr int kMispitchedFundamentalSemitones = 1;
// A note this short is a flicker of the analysis, not a note (removeFlickers).
inline constexpr int64_t kFlickerMs = 60;
inline constexpr int kLowestFundamentalKey = 21;  // A0
// With `evidence`, a fundamental is added only where the spectrum holds it
// or its odd partials (heardAsFundamental in tools/evidence.h); there a note
// alone at partial 3 over a fundamental heard with its partials 2 and 4 (no
// notes of the score) is that fundamental in any register (partialsHeard).
std::vector<ScoreNote> addMissingFundamentals(const std::vector<ScoreNote>& notes,
                                              const SpectralEvidence* evidence = nullptr);

// Latency. The delay of the analysis: the short-term estimation dates its
// peaks d frames later (d x shift), and a lump's label rounds its start up
// to the next frame shift (half a shift on average).
int64_t analysisLatencyMs(double frameShiftMs, int frameLength, bool shortTermEstimation);
// The end of a note is dated later still: the last frame whose level still
// passes the threshold holds the sound over about two thirds of its length
// (its window weighs the middle most; measured on the accuracy bench as a
// whole, where a half to four fifths give the same scores), so it starts that
// much before the sound ends, and it, too, is dated d frames later
// (d x shift + 2/3 x N / 11.025 ms).
inline constexpr double kEndFrameShare = 2.0 / 3.0;
int64_t analysisEndLatencyMs(double frameShiftMs, int frameLength, bool shortTermEstimation);
std::vector<ScoreNote> shiftEarlier(const std::vector<ScoreNote>& notes, int64_t startLatencyMs,
                                    int64_t endLatencyMs);

// Split notes. Two notes of one pitch that overlap are one note. Two notes of one pitch join when
// the gap between them is at most kMergeGapMs and the second piece is quieter than the first (it
// carries on a decaying sound) by at most kMergeVelocityDrop. A second piece as loud as the first
// or louder is a repeated note, struck again. The gap is taken on the analysis's timeline, where
// ends are dated about 25 ms later than starts (see the latency): 20 ms there is a pause of well
// under 50 ms in the sound, a dropout; a note repeated in time leaves a longer one.
inline constexpr int64_t kMergeGapMs = 20;
inline constexpr int kMergeVelocityDrop = 30;
// With the lists a second piece that starts with an attack of its own
// (attackAt: its first partials rising 6 dB) is struck again however quiet:
// a fast repeated note played softer.
std::vector<ScoreNote> mergeSplitNotes(const std::vector<ScoreNote>& notes,
                                       const SpectralEvidence* evidence = nullptr);

// Flickers. A note of the analysis shorter than kFlickerMs is a flicker: a
// partial or a neighbouring semitone catching the threshold for a frame or
// two during an attack. Its end is dated about 25 ms later than its start
// (see the latency), so such a note stands for 35 ms of sound or less, shorter than
// the notes of even a fast run. It is dropped after the other rules have used
// it as evidence.
std::vector<ScoreNote> removeFlickers(const std::vector<ScoreNote>& notes);

struct RefineOptions {
    double frameShiftMs = 10.0;
    int frameLength = 512;
    bool shortTermEstimation = true;
    // The peak and track lists of the run (tools/evidence.h), or none: the
    // rules then decide from the score alone.
    const SpectralEvidence* evidence = nullptr;
};

// The rules in order: merge, ghosts, missing fundamentals (among what the
// ghosts left), ghosts again (the partials of a fundamental found; with the
// lists both once more, for a fundamental under the fundamentals found, and
// held notes joined again), merge again (a fundamental found twice),
// latency.
RefineScore refineScore(const RefineScore& score, const RefineOptions& options);

}  // namespace sonvola
