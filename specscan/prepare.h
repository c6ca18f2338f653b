// Signal preparation: first channel of a stereo recording, and down-sampling
// to 11025 Hz with a Kaiser-window low-pass filter (FFT overlap-add) followed
// by linear-interpolation resampling.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <vector>

namespace sonvola {

inline constexpr double kAnalysisRateHz = 11025.0;
inline constexpr double kStopBandAttenuationDb = 960.0;

struct MonoSignal {
    std::vector<int16_t> samples;  // the first channel
    int32_t dataBytes = 0;         // v, halved
    int32_t byteRate = 0;          // halved
};

// Keeps samples 0, 2, 4, ... of an interleaved stereo buffer; halves the data
// byte count and the byte rate (integer division) and prints the two lines
// about it on `err`. Only the samples present are kept: the analysis never
// reads past the sample count derived from the halved byte count.
MonoSignal convertStereoToMono(std::span<const int16_t> interleaved, int32_t dataBytes,
                               int32_t byteRate, std::FILE* err);

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

// Radix-2 complex FFT in place on M values, twiddles by repeated
// multiplication. Forward: X[k] = sum x[t] e^(-2 pi i k t / M), unscaled.
// Inverse: conjugate, forward, conjugate and divide by M, so it returns the
// input of a forward transform. Returns false (data untouched, a line on
// `err`) when M is not a power of two.
bool convolutionFft(double* re, double* im, int64_t m, bool inverse, std::FILE* err = stderr);

// The filtering of one overlap-add block as the streamed filter does it:
// the same numbers as zero-padding the block to m values, convolutionFft,
// the product with the filter's spectrum and the inverse convolutionFft,
// with the permutations folded into the passes that fill the arrays.
class BlockFilter {
  public:
    // `h` has at most m values; m is a power of two.
    BlockFilter(std::span<const double> h, int64_t m);
    // The same filter, its spectrum and tables shared, with work arrays of
    // its own: the copy may filter on another thread while `other` does.
    BlockFilter(const BlockFilter& other);
    BlockFilter& operator=(const BlockFilter&) = delete;
    // `count` (at most m) samples in; the m real outputs of the block out.
    void filter(const int16_t* in, int64_t count, double* out);

  private:
    // Calls f(i) for every index i in the order the passes visit them (tile
    // by tile from m = 256 on).
    template <typename F>
    void forEachIndex(F&& f) const;

    // What every copy reads and none writes.
    struct Tables {
        std::vector<int64_t> reversed;  // the bit-reversed index of each index
        std::vector<double> hr, hi;     // the filter's spectrum, in the product's order
        std::vector<double> tr, ti;     // the twiddles of convolutionFft
    };

    int64_t m_;
    int bits_ = 0;    // m = 2^bits
    int rev4_[16]{};  // rev(y) for the 16 positions of a tile row
    std::shared_ptr<const Tables> tables_;
    std::vector<double> xr_, xi_, yr_, yi_;  // made at the first block
};

// Overlap-add FFT convolution of x with the odd-length filter h, aligned with
// the input (the filter's delay of L / 2 samples removed); returns x.size()
// values.
std::vector<double> fastConvolve(std::span<const double> h, std::span<const double> x);

// Linear interpolation from inRate to outRate, the position accumulated step
// by step; returns trunc(n / (inRate / outRate)) values.
std::vector<double> resampleLinear(std::span<const double> y, double inRateHz, double outRateHz);

enum class DownSampleStatus { Ok, FilterAllocationFailed, AllocationFailed };

// The whole rate step: filter design, convolution, resampling, with the two
// console lines on `err`. `samples` holds the n samples to use.
DownSampleStatus downSample(std::span<const int16_t> samples, double inRateHz, double outRateHz,
                            std::vector<double>& result, std::FILE* err);

}  // namespace sonvola
