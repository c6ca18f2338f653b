// A Standard MIDI File reader, independent of the writer: it checks the
// chunk structure and decodes every event, so a file that a player would
// choke on fails here too. Used by sonvola-eval and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/status.h"

namespace sonvola {

struct MidiEvent {
    int track;
    int64_t tick;                // absolute
    std::vector<uint8_t> bytes;  // status and data (meta: FF type len data)
};

struct MidiFile {
    int format = -1;
    int trackCount = -1;  // as the header says
    int division = 0;
    std::vector<MidiEvent> events;
    int tracksRead = 0;
};

// The file, or the reason when the bytes are not a well-formed file: a
// header cut short, a chunk that is not a track, a track running past the end
// of the file, an event cut short, a track not closed by FF 2F 00. Fewer (or
// more) tracks than the header announces still parse, so that the complete
// tracks of a half-written file can be looked at; see midiTracksComplete.
Result<MidiFile> parseMidi(const std::vector<uint8_t>& bytes);
Result<MidiFile> parseMidiFile(const std::string& path);

// A failure with the reason when the file holds another number of tracks
// than its header announces, as a file cut between two tracks does.
Status midiTracksComplete(const MidiFile& file);

struct MidiNote {
    int key;
    int velocity;
    double onsetS;
    double offsetS;
};

// Note-on/note-off pairs (a velocity-0 note-on ends a note), times in
// seconds through the tempo map of track 0.
std::vector<MidiNote> midiNotes(const MidiFile& file);

// "4D 54 68 64 ..." for failure messages.
std::string hexDump(const std::vector<uint8_t>& bytes);

}  // namespace sonvola
