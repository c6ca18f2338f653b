// Note recognition: every linked track becomes at most one note, and the
// notes become a score text of note-on and note-off events.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/peakfile.h"

namespace sonvola {

// What stage 1 finds in one track.
struct TrackFeatures {
    int16_t semitone = 0;  // n: semitones above C1
    int16_t volume = 0;    // v, at most 127, may be 0 or negative
    int64_t startMs = 0;
    int64_t endMs = 0;
};

struct NoteRecord {
    int64_t startMs = 0;
    int64_t endMs = 0;
    int16_t volume = 0;
    std::string name;  // for example "a-3"
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

// "c-", "c#", ... "a#" then the octave counted from C1; negative indexes
// keep the sign of the remainder ("b-0" for -11, "c--1" for -12).
std::string noteName(int16_t semitone);

// Stages 1 and 2 over every track in file order, printing one line per
// accepted note on `out`.
std::vector<NoteRecord> recogniseNotes(const PeakTable& tracks, int32_t frameRate, float maxdB,
                                       std::FILE* out);

struct ScoreEvent {
    int64_t timeMs;
    int32_t noteIndex;
    int16_t kind;  // 0 note on, 1 note off
};

// Note-ons of notes 0..C-1, then their note-offs, sorted by time with a
// stable sort: at one instant all note-ons in note order, then the note-offs.
std::vector<ScoreEvent> buildScoreEvents(const std::vector<NoteRecord>& notes);

struct ScoreArguments {
    std::string tempo = "120";
    std::string numerator = "4";
    std::string denominator = "4";
    std::string program = "1";
};

// Writes the conductor track and the note track.
void writeScore(std::FILE* out, const std::vector<NoteRecord>& notes,
                const std::vector<ScoreEvent>& events, const ScoreArguments& args);

}  // namespace sonvola
