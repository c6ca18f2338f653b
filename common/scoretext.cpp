#include "common/scoretext.h"

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

}  // namespace sonvola
