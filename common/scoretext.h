// The score text handed from NoteFind to ScoreToSmf: its writer's format
// strings and the reader's token classification, in one place.
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
#include <string_view>

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

}  // namespace sonvola
