// The butterfly stages shared by the filter's transform and the frame
// transform: radix-2, decimation in time, on data already in bit-reversed
// order.
#pragma once

#include <cstdint>

namespace sonvola {

// Runs the stages of half-size h = firstHalf, 2 firstHalf, ... < n over the
// n values of re and im. The factors of stage h are tr[h + j] and ti[h + j]
// for j < h, and every butterfly computes, in this order,
//   xr = tr * r1 - ti * i1,  xi = tr * i1 + ti * r1,
//   r1 = r0 - xr,  i1 = i0 - xi,  r0 = r0 + xr,  i0 = i0 + xi.
// Stages are taken two at a time where they can be (the four values a pair
// of stages combines stay in registers), four butterflies side by side in
// vectors; each butterfly still does exactly the operations above, in IEEE
// double arithmetic without fused multiply-add, so the results do not depend
// on the arrangement or on the machine.
void butterflyStages(double* re, double* im, int64_t n, int64_t firstHalf, const double* tr,
                     const double* ti);

// The same stages from half-size `block` on, for data that is constant over
// each block of `block` values with every imaginary part zero (a short frame
// zero-padded and spread by the bit reversal): values[k] is the value of
// block k. re and im are written whole, as if they had been filled block by
// block and passed to butterflyStages(re, im, n, block, tr, ti); the first
// two stages take their inputs from `values` directly. False (nothing done)
// unless block is a multiple of 4 and 4 block <= n.
bool butterflyStagesFromBlocks(const double* values, int64_t block, double* re, double* im,
                               int64_t n, const double* tr, const double* ti);

}  // namespace sonvola
