#include "common/noteindex.h"

#include <cmath>

namespace sonvola {

int16_t centsAboveC1(double frequencyHz) {
    if (!(frequencyHz > 0.0) || std::isinf(frequencyHz)) return 0;
    // 0.03057805146377144 is 1 / 32.70319566257483 Hz.
    double cents = 1200.0 * std::log(frequencyHz * 0.03057805146377144) / std::log(2.0);
    // Truncate toward zero, then keep the low 16 bits as a signed value.
    long long whole = static_cast<long long>(cents);
    return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint64_t>(whole) & 0xFFFFu));
}

int16_t noteIndex(double frequencyHz) {
    int16_t c = centsAboveC1(frequencyHz);
    return static_cast<int16_t>(static_cast<int>(c * 0.01 + 0.5));
}

}  // namespace sonvola
