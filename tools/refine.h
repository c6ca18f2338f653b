// sonvola-refine: a stage between NoteFind and ScoreToSmf that reads a score
// text and writes a refined one in the same format. Three rules, each a
// small function with its thresholds named below:
//   1. removeHarmonicGhosts: a note that sounds at a partial's interval above
//      a louder (or comparably loud) note covering most of its span is that
//      note's partial, not a note of its own;
//   2. the analysis latency: every note moves earlier by the delay with which
//      the analysis dates what it hears;
//   3. mergeSplitNotes: a note interrupted by a short gap at the same pitch
//      and a similar loudness is one note.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonvola {

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
bool readRefineScore(const std::string& text, RefineScore& score, std::string& error);
// Writes it back in NoteFind's layout.
std::string writeRefineScore(const RefineScore& score);

// Rule 1. Intervals of the 2nd to 8th partials above a fundamental.
inline constexpr int kPartialIntervals[] = {12, 19, 24, 28, 31, 34, 36};
// The lower note must cover this share of the upper note's span.
inline constexpr double kGhostOverlapShare = 0.5;
// A partial can be this much louder (in NoteFind's volume) than its
// fundamental; a note louder still above it is a note of its own.
inline constexpr int kGhostLouderMargin = 12;
// An upper note that starts this much earlier or ends this much later than
// the lower one is a note of its own (a real octave or chord).
inline constexpr int64_t kGhostOwnStartMs = 60;
inline constexpr int64_t kGhostOwnEndMs = 150;
std::vector<ScoreNote> removeHarmonicGhosts(const std::vector<ScoreNote>& notes);

// Rule 2. The delay of the analysis: the short-term estimation dates its
// peaks d frames later (d x shift), and a lump's label rounds its start up
// to the next frame shift (half a shift on average).
int64_t analysisLatencyMs(double frameShiftMs, int frameLength, bool shortTermEstimation);
std::vector<ScoreNote> shiftEarlier(const std::vector<ScoreNote>& notes, int64_t latencyMs);

// Rule 3. Two notes of one pitch join when the gap between them is at most
// kMergeGapMs and the second piece is quieter than the first (it carries on
// a decaying sound) by at most kMergeVelocityDrop. A second piece as loud as
// the first or louder is a repeated note, struck again.
inline constexpr int64_t kMergeGapMs = 50;
inline constexpr int kMergeVelocityDrop = 30;
std::vector<ScoreNote> mergeSplitNotes(const std::vector<ScoreNote>& notes);

struct RefineOptions {
    double frameShiftMs = 10.0;
    int frameLength = 512;
    bool shortTermEstimation = true;
};

// The three rules in order: merge, ghosts, latency.
RefineScore refineScore(const RefineScore& score, const RefineOptions& options);

}  // namespace sonvola
