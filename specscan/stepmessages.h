// The console lines of SpecScan's signal steps (standard error), made in one
// place for the program and for the reference versions of the steps.
#pragma once

#include <cstdint>
#include <string>

namespace sonvola {

// An 8-bit recording's samples are widened to 16 bits.
inline constexpr const char* kEightBitMessage =
    "\n..Quantization bit rate is converted 8 into 16.\n";

// The smallest and largest sample.
std::string amplitudeMessage(int mini, int maxi);

// The channel step: the data bytes and the byte rate of the one channel kept
// (half the stereo values).
std::string stereoToMonoMessage(int64_t monoBytes, int64_t monoByteRate);

// The rate step: the filter (cut off at half `outRateHz`, `taps`
// coefficients), and the rates.
std::string lowPassFilterMessage(double outRateHz, int64_t taps);
std::string downSamplingMessage(double inRateHz, double outRateHz);

}  // namespace sonvola
