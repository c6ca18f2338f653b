// Note recognition: every linked track becomes at most one note (a
// NoteRecord of common/scoretext.h, which writes the score text).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/peakfile.h"
#include "common/scoretext.h"

namespace sonvola {

// What stage 1 finds in one track.
struct TrackFeatures {
    int16_t semitone = 0;  // n: semitones above C1
    int16_t volume = 0;    // v, at most 127, may be 0 or negative
    int64_t startMs = 0;
    int64_t endMs = 0;
};

// Pitch from the mean frequency (through the shared semitone rule), times
// from the label and the entry count, volume from the loudest entry relative
// to `maxdB`: linear below B3 (n < 35), logarithmic from B3 up.
TrackFeatures analyseTrack(const PeakRecord& track, int32_t frameRate, float maxdB);

// The volume rules on their own (evaluated in double, in the written order).
// A level ratio with no logarithm (0 or below) counts as too quiet (0).
int16_t trackVolume(int16_t semitone, float peakLevel, float maxdB);

// Loud enough (v >= 101 from B5, n >= 59; else v >= 1) and longer than 30 ms.
bool acceptTrack(const TrackFeatures& f);

// Stages 1 and 2 over every track in file order, printing one line per
// accepted note on `out`.
std::vector<NoteRecord> recogniseNotes(const PeakTable& tracks, int32_t frameRate, float maxdB,
                                       std::FILE* out);

}  // namespace sonvola
