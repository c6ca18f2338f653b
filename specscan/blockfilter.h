// The overlap-add low-pass filter of the rate step: how the signal is cut
// into blocks, the transform of the convolution, and the filtering of one
// block.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/status.h"

namespace sonvola {

// How an overlap-add convolution of n samples with a filter of `len` taps
// is cut: transforms of m points (a power of two, at least 2), blocks of
// m - len + 1 samples (at least one block), len + n - 1 outputs in all, of
// which those from len / 2 on line up with the input.
struct OverlapAddPlan {
    int64_t m = 0;
    int64_t block = 0;
    int64_t blocks = 0;
    int64_t fullLength = 0;
    int64_t delay = 0;
};
OverlapAddPlan planOverlapAdd(int64_t len, int64_t n);

// Radix-2 complex FFT in place on M values, twiddles by repeated
// multiplication. Forward: X[k] = sum x[t] e^(-2 pi i k t / M), unscaled.
// Inverse: conjugate, forward, conjugate and divide by M, so it returns the
// input of a forward transform. Refuses (data untouched) an M that is not a
// power of two.
Status convolutionFft(double* re, double* im, int64_t m, bool inverse);

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

}  // namespace sonvola
