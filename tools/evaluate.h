// Note-level transcription metrics: precision, recall and F1 of estimated
// notes against reference notes, matched one to one.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"

namespace sonvola {

struct EvalNote {
    double onset;   // seconds
    double offset;  // seconds
    double pitch;   // MIDI key (fractions allowed)
};

// A MIDI file (recognised by "MThd") or a text list of "onset offset pitch"
// lines (seconds, seconds, MIDI key; '#' starts a comment; more columns are
// ignored; a UTF-8 byte-order mark and CRLF line ends are fine). Refused with
// a reason when the file cannot be read or is not whole:
//  - a file of 0 bytes (a list without notes holds at least a comment line);
//  - a MIDI file cut anywhere: inside the header (a file of 1 to 3 bytes that
//    starts like "MThd" included), inside a track, or between tracks (fewer
//    tracks than the header announces); a track not closed by FF 2F 00; a
//    time division of 0 or in SMPTE frames;
//  - a line whose first three words are not all plain decimal numbers (no
//    "nan", "inf", "5abc"), a negative onset, an offset before its onset, a
//    pitch outside 0..127; the message names the file, the line and the word.
Result<std::vector<EvalNote>> readNotes(const std::string& path);

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
