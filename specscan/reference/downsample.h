// The channel and rate steps on whole arrays, for the tests, the benchmarks
// and the fuzz targets: SpecScan runs the streamed steps of
// specscan/stream.h, which give the same numbers.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace sonvola {

struct MonoSignal {
    std::vector<int16_t> samples;  // the first channel
    int32_t dataBytes = 0;         // v, halved
    int32_t byteRate = 0;          // halved
};

// Deliberate reference version of the channel step: keeps samples 0, 2, 4, ...
// of an interleaved stereo buffer, halves the data byte count and the byte
// rate (integer division) and appends their console lines to `console`.
MonoSignal convertStereoToMono(std::span<const int16_t> interleaved, int32_t dataBytes,
                               int32_t byteRate, std::string& console);

// Deliberate reference version of the streamed filter: overlap-add FFT
// convolution of x with the odd-length filter h, aligned with the input (the
// filter's delay of L / 2 samples removed); returns x.size() values.
std::vector<double> fastConvolve(std::span<const double> h, std::span<const double> x);

// Deliberate reference version of the streamed resampler: linear
// interpolation from inRate to outRate, the position accumulated step by
// step; returns trunc(n / (inRate / outRate)) values.
std::vector<double> resampleLinear(std::span<const double> y, double inRateHz, double outRateHz);

enum class DownSampleStatus { Ok, FilterAllocationFailed, AllocationFailed };

// Deliberate reference version of the whole rate step: filter design,
// convolution, resampling, with its console lines appended to `console`.
// `samples` holds the n samples to use.
DownSampleStatus downSample(std::span<const int16_t> samples, double inRateHz, double outRateHz,
                            std::vector<double>& result, std::string& console);

}  // namespace sonvola
