// Short-time spectrum: frame bookkeeping, the six windows, the frame
// transform and the level conversion.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/status.h"

namespace sonvola {

enum class WindowKind { Blackman, Hanning, Hamming, Rectangular, Triangular, None };

// Matches a window name byte for byte against the six names in UTF-8 and in
// Shift_JIS (command lines written in that encoding still work).
std::optional<WindowKind> parseWindowName(const std::string& name);

// The six names as the programs print them.
const char* windowListMessage();

// Window factors for a frame of N samples (N >= 2), computed once per run.
// The cosine windows are shifted by one sample (factor n uses n - 1); the
// triangular window multiplies its middle sample by both of its halves.
class Window {
  public:
    Window(WindowKind kind, int n);
    void apply(std::span<double> frame) const;
    int size() const { return n_; }

  private:
    int n_;
    std::vector<double> factor_;  // empty for the windows that change nothing
    int mid_ = -1;                // triangular: the sample with two factors
    double midSecond_ = 1.0;
};

// Frame bookkeeping of a run.
struct FramePlan {
    int64_t loopCount = 0;  // number of frames
    int64_t step = 0;       // frame step S in samples at 11025 Hz
};

// LoopCount = trunc((v / R) / s * 1000), S = trunc(s * 11.025). `ok` is false
// when the values cannot make a frame count (R or s not positive, or a count
// beyond the int32 range).
FramePlan planFrames(double dataBytes, double byteRate, double frameShiftMs, bool& ok);

// Radix-2 FFT with sine and bit-reversal tables built once per size.
// Forward (size > 0): X[k] = (1/n) sum x[t] e^(-2 pi i k t / n).
// Inverse (size < 0): unscaled. Size 0 releases the tables.
class SpectrumFft {
  public:
    // Fails when the tables cannot be made: the size is not a power of two
    // of at least 4 (no message), or memory runs out.
    Status transform(int64_t size, double* re, double* im);
    void release();

    // The forward transform of `frame` (its first `frameLength` values, the
    // rest of the `size` inputs zero, all imaginary parts zero) into re and
    // im: the same values as filling the arrays and calling transform(size).
    // The first stages only spread each block's single nonzero input over
    // the block, so they are replaced by that spreading.
    // Only the first `binsWanted` outputs (all of them when negative) are
    // scaled by 1/size; the others are left unscaled for callers that never
    // read them.
    Status transformFrame(const double* frame, int64_t frameLength, int64_t size, double* re,
                          double* im, int64_t binsWanted = -1);

  private:
    bool prepare(int64_t n);
    int64_t n_ = 0;
    std::vector<double> sine_;  // sin(2 pi k / n), k < n + n/4
    std::vector<int64_t> rev_;
    std::vector<double> cos_, negSin_, sin_;
    std::vector<double> blockValues_;  // a frame's value per spread block
};

}  // namespace sonvola
