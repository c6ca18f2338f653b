#include "frontend/core/fields.h"

namespace sonvola {

// Built as strings first: assigning a literal trips a false overlap warning of GCC 12.
void resetParameters(FieldTexts& f) {
    f.m_strFrameShift = std::string("10 _msec");
    f.m_strFrameLength = std::string("512 _点");
    f.m_strZeroPadLength = std::string("4096 _点");
    f.m_strWindow = std::string("ハミング窓");
    f.m_strTempo = std::string("120 _tempo");
    f.m_strShortestNote = std::string("128 _分音符");
    f.m_strTimeSignature = std::string("4 / 4");
    f.m_strProgram = std::string("1");
}

}  // namespace sonvola
