// The nine texts of the main window and their defaults.
#pragma once

#include <string>

namespace sonvola {

struct FieldTexts {
    std::string m_strFileName;       // path of the media / analysis file
    std::string m_strFrameShift;     // "10 _msec"
    std::string m_strFrameLength;    // "512 _点"
    std::string m_strWindow;         // "ハミング窓"
    std::string m_strZeroPadLength;  // "4096 _点"
    std::string m_strTempo;          // "120 _tempo"
    std::string m_strShortestNote;   // "128 _分音符"
    std::string m_strTimeSignature;  // "4 / 4"
    std::string m_strProgram;        // "1"
};

// Sets the eight parameter texts to their defaults; the file path stays.
void resetParameters(FieldTexts& fields);

// Index of the background picture: 0..6, cycling.
inline int nextBackground(int index) {
    return index >= 6 ? 0 : index + 1;
}

}  // namespace sonvola
