// Design of the linear-phase low-pass filter that brings a recording down to
// the analysis rate: a windowed sinc, the window a Kaiser window.
#pragma once

#include <cstdint>
#include <vector>

namespace sonvola {

inline constexpr double kStopBandAttenuationDb = 960.0;
// Width of the band between pass and stop, in Hz of the input.
inline constexpr double kTransitionWidthHz = 400.0;

struct KaiserParameters {
    double beta;
    int64_t order;  // N0
};
KaiserParameters kaiserParameters(double attenuationDb, double transitionWidth);

// Modified Bessel function of the first kind, order 0 (power series).
double besselI0(double x);

// Linear-phase low-pass filter, cut-off `cutoffRatio` of the input Nyquist
// frequency; returns the L coefficients (L odd).
std::vector<double> designKaiserLowPass(double cutoffRatio, double attenuationDb,
                                        double transitionWidth, double gain);

// The filter of the rate step from `inRateHz` to `outRateHz`: cut off at the
// output's Nyquist frequency, kStopBandAttenuationDb, kTransitionWidthHz.
std::vector<double> downSamplingFilter(double inRateHz, double outRateHz);

}  // namespace sonvola
