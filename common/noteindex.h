// Semitone number of a frequency, counted from C1 (32.70319566257483 Hz) = 0.
#pragma once

#include <cstdint>

namespace sonvola {

// Cents above C1, truncated toward zero and kept in 16 bits as a signed value
// (as the score and peak files have always counted them); 0 for a frequency
// that is not a positive number.
int16_t centsAboveC1(double frequencyHz);

// The nearest semitone: trunc(cents * 0.01 + 0.5), truncation toward zero.
int16_t noteIndex(double frequencyHz);

}  // namespace sonvola
