// The nine texts of the main window and their defaults.
#pragma once

#include <string>

namespace sonvola {

struct FieldTexts {
    std::string fileName;       // path of the media / analysis file
    std::string frameShift;     // "10 _msec"
    std::string frameLength;    // "512 _点"
    std::string window;         // "ハミング窓"
    std::string zeroPadLength;  // "4096 _点"
    std::string tempo;          // "120 _tempo"
    std::string shortestNote;   // "128 _分音符"
    std::string timeSignature;  // "4 / 4"
    std::string program;        // "1"
};

// Sets the eight parameter texts to their defaults; the file path stays.
void resetParameters(FieldTexts& fields);

// Index of the background picture: 0..6, cycling.
inline int nextBackground(int index) {
    return index >= 6 ? 0 : index + 1;
}

}  // namespace sonvola
