// The score text handed from NoteFind (and sonvola-refine) to ScoreToSmf:
// its writer, used by both, and what its readers share (their words come
// from common/tokenreader.h; the classification of a word and the note
// names are here). The readers differ in what they accept, each in its own
// place: ScoreToSmf leniently (scoretosmf/smf.cpp), sonvola-refine every
// number whole (tools/refine.cpp), the piano roll only the layout below
// (frontend/core/pianoroll.cpp).
//
//   tracks 2
//
//   track{
//   0   tempo 120
//   0   rhythm 4 / 4
//   }
//
//   track{
//   0   tone 1
//   100   a-3 90
//   500   a-3 0
//   }
//
// The reader sees only blank-separated tokens: a delta in ms, then an event.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace sonvola {

namespace scoreformat {
inline constexpr const char* kTracks = "tracks 2\n";
inline constexpr const char* kBlank = "\n";
inline constexpr const char* kTrackOpen = "track{\n";
inline constexpr const char* kTempo = "0   tempo %s\n";
inline constexpr const char* kRhythm = "0   rhythm %s / %s\n";
inline constexpr const char* kConductorClose = "}\n\n";
inline constexpr const char* kTone = "0   tone %s\n";
inline constexpr const char* kNoteOn = "%lld   %s %d\n";
inline constexpr const char* kNoteOff = "%lld   %s 0\n";
inline constexpr const char* kTrackClose = "}\n";
}  // namespace scoreformat

enum class ScoreToken { Rhythm, Tempo, Tone, Note, Delta };

// Where an item may start: "rhythm", "tempo", "tone", a token whose first
// character is one of c d e f g a b (a note), anything else a delta.
ScoreToken classifyScoreToken(std::string_view token);

// MIDI key of a note name such as "a-3" or "c#3": (octave + 2) * 12 + the
// letter's semitone, plus 1 for '#', modulo 256. The octave is the third
// character's digit value (any other character counts with its code).
int noteKeyFromName(std::string_view name);

// Semitone of a note letter (c 0, d 2, e 4, f 5, g 7, a 9, b 11).
int letterSemitone(char letter);

struct NoteRecord {
    int64_t startMs = 0;
    int64_t endMs = 0;
    int16_t volume = 0;
    std::string name;  // for example "a-3"
};

// "c-", "c#", ... "a#" then the octave counted from C1; negative indexes
// keep the sign of the remainder ("b-0" for -11, "c--1" for -12).
std::string noteName(int16_t semitone);

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
