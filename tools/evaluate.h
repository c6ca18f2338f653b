// Note-level transcription metrics: precision, recall and F1 of estimated
// notes against reference notes, matched one to one.
#pragma once

#include <string>
#include <vector>

namespace sonvola {

struct EvalNote {
    double onset;   // seconds
    double offset;  // seconds
    double pitch;   // MIDI key (fractions allowed)
};

// A MIDI file (recognised by "MThd") or a text list of "onset offset pitch"
// lines (seconds, seconds, MIDI key; '#' starts a comment; more columns are
// ignored). False with a reason when the file cannot be read.
bool readNotes(const std::string& path, std::vector<EvalNote>& notes, std::string& error);

struct EvalScores {
    double precision = 0.0, recall = 0.0, f1 = 0.0;
    int matched = 0, reference = 0, estimated = 0;
};

struct EvalTolerances {
    double onsetS = 0.05;      // onsets within 50 ms
    double pitchCents = 50.0;  // pitches within 50 cents
    bool offsets = false;      // also offsets within
    double offsetRatio = 0.2;  // 20% of the reference note's length,
    double offsetMinS = 0.05;  // but at least 50 ms
};

// Pairs reference and estimated notes that agree within the tolerances,
// then takes the largest one-to-one matching (augmenting paths, as the
// field's common evaluation library does).
EvalScores evaluateNotes(const std::vector<EvalNote>& reference,
                         const std::vector<EvalNote>& estimate, const EvalTolerances& tolerances);

// The size of a maximum matching in a bipartite graph given as, for each
// left node, the right nodes it may pair with.
int maximumMatching(const std::vector<std::vector<int>>& adjacency, int rightCount);

}  // namespace sonvola
