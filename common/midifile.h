// A Standard MIDI File reader, independent of the writer: it checks the
// chunk structure and decodes every event, so a file that a player would
// choke on fails here too. Used by sonvola-eval and the tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Returns false with a reason when the bytes are not a well-formed file.
bool parseMidi(const std::vector<uint8_t>& bytes, MidiFile& out, std::string& error);
bool parseMidiFile(const std::string& path, MidiFile& out, std::string& error);

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
