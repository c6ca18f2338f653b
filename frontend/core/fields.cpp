#include "frontend/core/fields.h"

namespace sonvola {

// Built as strings first: assigning a literal trips a false overlap warning of GCC 12.
void resetParameters(FieldTexts& f) {
    f.frameShift = std::string("10 _msec");
    f.frameLength = std::string("512 _点");
    f.zeroPadLength = std::string("4096 _点");
    f.window = std::string("ハミング窓");
    f.tempo = std::string("120 _tempo");
    f.shortestNote = std::string("128 _分音符");
    f.timeSignature = std::string("4 / 4");
    f.program = std::string("1");
}

}  // namespace sonvola
