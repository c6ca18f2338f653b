#include "common/scoretext.h"

#include <algorithm>

#include "common/console.h"

namespace sonvola {

int letterSemitone(char letter) {
    switch (letter) {
        case 'c':
            return 0;
        case 'd':
            return 2;
        case 'e':
            return 4;
        case 'f':
            return 5;
        case 'g':
            return 7;
        case 'a':
            return 9;
        case 'b':
            return 11;
        default:
            return -1;
    }
}

ScoreToken classifyScoreToken(std::string_view token) {
    if (token == "rhythm") return ScoreToken::Rhythm;
    if (token == "tempo") return ScoreToken::Tempo;
    if (token == "tone") return ScoreToken::Tone;
    if (!token.empty() && letterSemitone(token[0]) >= 0) return ScoreToken::Note;
    return ScoreToken::Delta;
}

int noteKeyFromName(std::string_view name) {
    const int semitone = name.empty() ? 0 : letterSemitone(name[0]);
    const int sharp = name.size() > 1 && name[1] == '#' ? 1 : 0;
    int octave = 0;
    if (name.size() > 2) {
        const unsigned char c = static_cast<unsigned char>(name[2]);
        octave = (c >= '0' && c <= '9') ? c - '0' : c;
    }
    return ((octave + 2) * 12 + (semitone < 0 ? 0 : semitone) + sharp) & 0xFF;
}

std::string noteName(int16_t semitone) {
    static const char* const kLetters[] = {"c-", "c#", "d-", "d#", "e-", "f-",
                                           "f#", "g-", "g#", "a-", "a#"};
    const int pitchClass = semitone % 12;  // keeps the sign of n
    const int octave = semitone / 12;
    const char* letters = pitchClass >= 0 && pitchClass <= 10 ? kLetters[pitchClass] : "b-";
    return format("%s%d", letters, octave);
}

std::vector<ScoreEvent> buildScoreEvents(const std::vector<NoteRecord>& notes) {
    std::vector<ScoreEvent> events;
    events.reserve(notes.size() * 2);
    for (size_t i = 0; i < notes.size(); ++i) {
        events.push_back({notes[i].startMs, static_cast<int32_t>(i), 0});
    }
    for (size_t i = 0; i < notes.size(); ++i) {
        events.push_back({notes[i].endMs, static_cast<int32_t>(i), 1});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const ScoreEvent& a, const ScoreEvent& b) { return a.timeMs < b.timeMs; });
    return events;
}

void writeScore(std::FILE* out, const std::vector<NoteRecord>& notes,
                const std::vector<ScoreEvent>& events, const ScoreArguments& args) {
    using namespace scoreformat;
    std::fputs(kTracks, out);
    std::fputs(kBlank, out);
    std::fputs(kTrackOpen, out);
    std::fprintf(out, kTempo, args.tempo.c_str());
    std::fprintf(out, kRhythm, args.numerator.c_str(), args.denominator.c_str());
    std::fputs(kConductorClose, out);
    std::fputs(kTrackOpen, out);
    std::fprintf(out, kTone, args.program.c_str());
    int64_t previous = 0;
    for (const ScoreEvent& e : events) {
        const NoteRecord& n = notes[static_cast<size_t>(e.noteIndex)];
        const long long delta = static_cast<long long>(e.timeMs - previous);
        if (e.kind == 0) {
            std::fprintf(out, kNoteOn, delta, n.name.c_str(), static_cast<int>(n.volume));
        } else {
            std::fprintf(out, kNoteOff, delta, n.name.c_str());
        }
        previous = e.timeMs;
    }
    std::fputs(kTrackClose, out);
}

}  // namespace sonvola
