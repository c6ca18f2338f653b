#include "specscan/butterflies.h"

#include <cstring>

#include "specscan/vec4.h"

namespace sonvola {

namespace {

template <typename T>
[[gnu::always_inline]] inline void butterfly(T& r0, T& i0, T& r1, T& i1, const T& wr, const T& wi) {
    const T xr = wr * r1 - wi * i1;
    const T xi = wr * i1 + wi * r1;
    r1 = r0 - xr;
    i1 = i0 - xi;
    r0 = r0 + xr;
    i0 = i0 + xi;
}

// One stage of half-size h < 4, one butterfly at a time.
[[gnu::always_inline]] inline void scalarStage(double* re, double* im, int64_t n, int64_t h,
                                               const double* tr, const double* ti) {
    for (int64_t b = 0; b < n; b += 2 * h) {
        for (int64_t j = 0; j < h; ++j) {
            double r0 = re[b + j], i0 = im[b + j], r1 = re[b + h + j], i1 = im[b + h + j];
            butterfly(r0, i0, r1, i1, tr[h + j], ti[h + j]);
            re[b + j] = r0;
            im[b + j] = i0;
            re[b + h + j] = r1;
            im[b + h + j] = i1;
        }
    }
}

// 4 x 4 transpose: rows x0..x3 in, columns out (its own inverse).
[[gnu::always_inline]] inline void transpose(V4& x0, V4& x1, V4& x2, V4& x3) {
    const V4 t0 = __builtin_shufflevector(x0, x1, 0, 4, 2, 6);
    const V4 t1 = __builtin_shufflevector(x0, x1, 1, 5, 3, 7);
    const V4 t2 = __builtin_shufflevector(x2, x3, 0, 4, 2, 6);
    const V4 t3 = __builtin_shufflevector(x2, x3, 1, 5, 3, 7);
    x0 = __builtin_shufflevector(t0, t2, 0, 1, 4, 5);
    x1 = __builtin_shufflevector(t1, t3, 0, 1, 4, 5);
    x2 = __builtin_shufflevector(t0, t2, 2, 3, 6, 7);
    x3 = __builtin_shufflevector(t1, t3, 2, 3, 6, 7);
}

// Stages 1 and 2 together (n a multiple of 16). Each group of four values
// a b c d pairs a-b and c-d (factor 1), then a-c (factor 2) and b-d (factor
// 3); four groups are loaded and transposed so that each vector holds the
// same member of four groups.
[[gnu::always_inline]] inline void firstTwoStages(double* re, double* im, int64_t n,
                                                  const double* tr, const double* ti) {
    const V4 w1r = V4{} + tr[1], w1i = V4{} + ti[1];
    const V4 w2r = V4{} + tr[2], w2i = V4{} + ti[2];
    const V4 w3r = V4{} + tr[3], w3i = V4{} + ti[3];
    for (int64_t g = 0; g < n; g += 16) {
        V4 ar = SONVOLA_LOAD4(re + g), br = SONVOLA_LOAD4(re + g + 4),
           cr = SONVOLA_LOAD4(re + g + 8), dr = SONVOLA_LOAD4(re + g + 12);
        V4 ai = SONVOLA_LOAD4(im + g), bi = SONVOLA_LOAD4(im + g + 4),
           ci = SONVOLA_LOAD4(im + g + 8), di = SONVOLA_LOAD4(im + g + 12);
        transpose(ar, br, cr, dr);
        transpose(ai, bi, ci, di);
        butterfly(ar, ai, br, bi, w1r, w1i);
        butterfly(cr, ci, dr, di, w1r, w1i);
        butterfly(ar, ai, cr, ci, w2r, w2i);
        butterfly(br, bi, dr, di, w3r, w3i);
        transpose(ar, br, cr, dr);
        transpose(ai, bi, ci, di);
        SONVOLA_STORE4(re + g, ar);
        SONVOLA_STORE4(re + g + 4, br);
        SONVOLA_STORE4(re + g + 8, cr);
        SONVOLA_STORE4(re + g + 12, dr);
        SONVOLA_STORE4(im + g, ai);
        SONVOLA_STORE4(im + g + 4, bi);
        SONVOLA_STORE4(im + g + 8, ci);
        SONVOLA_STORE4(im + g + 12, di);
    }
}

// One stage of half-size h (a multiple of 4).
[[gnu::always_inline]] inline void vectorStage(double* re, double* im, int64_t n, int64_t h,
                                               const double* tr, const double* ti) {
    for (int64_t b = 0; b < n; b += 2 * h) {
        double* r0p = re + b;
        double* i0p = im + b;
        double* r1p = re + b + h;
        double* i1p = im + b + h;
        for (int64_t j = 0; j < h; j += 4) {
            V4 r0 = SONVOLA_LOAD4(r0p + j), i0 = SONVOLA_LOAD4(i0p + j),
               r1 = SONVOLA_LOAD4(r1p + j), i1 = SONVOLA_LOAD4(i1p + j);
            butterfly(r0, i0, r1, i1, SONVOLA_LOAD4(tr + h + j), SONVOLA_LOAD4(ti + h + j));
            SONVOLA_STORE4(r0p + j, r0);
            SONVOLA_STORE4(i0p + j, i0);
            SONVOLA_STORE4(r1p + j, r1);
            SONVOLA_STORE4(i1p + j, i1);
        }
    }
}

// Four values of each of four vectors: a, b, c, d of a block of 4h, at
// positions j, h + j, 2h + j, 3h + j.
struct Quad {
    V4 ar, ai, br, bi, cr, ci, dr, di;
};

// Stages h and 2h on a quad: stage h pairs a with b and c with d (factor j),
// stage 2h then pairs a with c (factor j) and b with d (factor h + j).
[[gnu::always_inline]] inline void stagePairOnQuad(Quad& q, int64_t h, int64_t j, const double* tr,
                                                   const double* ti) {
    const V4 w1r = SONVOLA_LOAD4(tr + h + j), w1i = SONVOLA_LOAD4(ti + h + j);
    butterfly(q.ar, q.ai, q.br, q.bi, w1r, w1i);
    butterfly(q.cr, q.ci, q.dr, q.di, w1r, w1i);
    butterfly(q.ar, q.ai, q.cr, q.ci, SONVOLA_LOAD4(tr + 2 * h + j), SONVOLA_LOAD4(ti + 2 * h + j));
    butterfly(q.br, q.bi, q.dr, q.di, SONVOLA_LOAD4(tr + 3 * h + j), SONVOLA_LOAD4(ti + 3 * h + j));
}

[[gnu::always_inline]] inline void storeQuad(double* re, double* im, int64_t h, int64_t j,
                                             const Quad& q) {
    SONVOLA_STORE4(re + j, q.ar);
    SONVOLA_STORE4(im + j, q.ai);
    SONVOLA_STORE4(re + h + j, q.br);
    SONVOLA_STORE4(im + h + j, q.bi);
    SONVOLA_STORE4(re + 2 * h + j, q.cr);
    SONVOLA_STORE4(im + 2 * h + j, q.ci);
    SONVOLA_STORE4(re + 3 * h + j, q.dr);
    SONVOLA_STORE4(im + 3 * h + j, q.di);
}

// Stages h and 2h together (h a multiple of 4, 4h <= n), block by block.
[[gnu::always_inline]] inline void vectorStagePair(double* re, double* im, int64_t n, int64_t h,
                                                   const double* tr, const double* ti) {
    for (int64_t b = 0; b < n; b += 4 * h) {
        double* r = re + b;
        double* i = im + b;
        for (int64_t j = 0; j < h; j += 4) {
            Quad q{SONVOLA_LOAD4(r + j),         SONVOLA_LOAD4(i + j),
                   SONVOLA_LOAD4(r + h + j),     SONVOLA_LOAD4(i + h + j),
                   SONVOLA_LOAD4(r + 2 * h + j), SONVOLA_LOAD4(i + 2 * h + j),
                   SONVOLA_LOAD4(r + 3 * h + j), SONVOLA_LOAD4(i + 3 * h + j)};
            stagePairOnQuad(q, h, j, tr, ti);
            storeQuad(r, i, h, j, q);
        }
    }
}

// Values per cache block: 16 KB of real and imaginary parts.
constexpr int64_t kCacheBlock = 1024;

// The stages of half-size `from` up to (not including) `to` over n values.
[[gnu::always_inline]] inline void stagesBelow(double* re, double* im, int64_t n, int64_t from,
                                               int64_t to, const double* tr, const double* ti) {
    int64_t h = from;
    if (h == 1 && to >= 4 && n % 16 == 0) {
        firstTwoStages(re, im, n, tr, ti);
        h = 4;
    }
    for (; h < to && h < 4; h <<= 1) scalarStage(re, im, n, h, tr, ti);
    for (; 4 * h <= to; h <<= 2) vectorStagePair(re, im, n, h, tr, ti);
    if (h < to) vectorStage(re, im, n, h, tr, ti);
}

// Stages h = H, 2H, ..., H 2^(k-1) (H a multiple of kRowWidth) over n values,
// for the large stages whose pairs lie far apart. These stages only combine
// values whose indices agree modulo H within each block of H 2^k, so the
// values are taken as 2^k rows of kRowWidth neighbours (index o + t H), copied
// to a small local array, put through all k stages there and copied back:
// the array is read and written once for the k stages instead of once per
// stage. A value pair of stage h = H 2^s is row t and row t + 2^s (bit s of t
// clear), its factor index h + o + (t mod 2^s) H.
// Arrays from this size on (256 KB of values) are larger than the
// second-level cache together with their factors.
constexpr int64_t kRowStagesFrom = 16384;
constexpr int64_t kRowWidth = 64;
constexpr int kMaxRowBits = 5;

[[gnu::always_inline]] inline void rowStages(double* re, double* im, int64_t n, int64_t H, int k,
                                             const double* tr, const double* ti) {
    const int64_t rows = int64_t{1} << k;
    const int64_t B = H << k;
    alignas(32) double lr[(1 << kMaxRowBits) * kRowWidth];
    alignas(32) double li[(1 << kMaxRowBits) * kRowWidth];
    for (int64_t b = 0; b < n; b += B) {
        for (int64_t o = 0; o < H; o += kRowWidth) {
            for (int64_t t = 0; t < rows; ++t) {
                std::memcpy(lr + t * kRowWidth, re + b + o + t * H, sizeof(double) * kRowWidth);
                std::memcpy(li + t * kRowWidth, im + b + o + t * H, sizeof(double) * kRowWidth);
            }
            for (int s = 0; s < k; ++s) {
                const int64_t half = int64_t{1} << s;
                const int64_t h = H << s;
                for (int64_t t = 0; t < rows; ++t) {
                    if (t & half) continue;
                    const double* wr = tr + h + o + (t & (half - 1)) * H;
                    const double* wi = ti + h + o + (t & (half - 1)) * H;
                    double* r0p = lr + t * kRowWidth;
                    double* i0p = li + t * kRowWidth;
                    double* r1p = lr + (t + half) * kRowWidth;
                    double* i1p = li + (t + half) * kRowWidth;
                    for (int64_t v = 0; v < kRowWidth; v += 4) {
                        V4 r0 = SONVOLA_LOAD4(r0p + v), i0 = SONVOLA_LOAD4(i0p + v),
                           r1 = SONVOLA_LOAD4(r1p + v), i1 = SONVOLA_LOAD4(i1p + v);
                        butterfly(r0, i0, r1, i1, SONVOLA_LOAD4(wr + v), SONVOLA_LOAD4(wi + v));
                        SONVOLA_STORE4(r0p + v, r0);
                        SONVOLA_STORE4(i0p + v, i0);
                        SONVOLA_STORE4(r1p + v, r1);
                        SONVOLA_STORE4(i1p + v, i1);
                    }
                }
            }
            for (int64_t t = 0; t < rows; ++t) {
                std::memcpy(re + b + o + t * H, lr + t * kRowWidth, sizeof(double) * kRowWidth);
                std::memcpy(im + b + o + t * H, li + t * kRowWidth, sizeof(double) * kRowWidth);
            }
        }
    }
}

// Stages h = B and 2B on values that are constant over each block of B
// (B a multiple of 4): the value of block k is xs[k], every imaginary part
// zero. The same butterflies as vectorStagePair, with the inputs taken from
// the block values instead of memory.
[[gnu::always_inline]] inline void spreadStagePair(double* re, double* im, int64_t count, int64_t B,
                                                   const double* xs, const double* tr,
                                                   const double* ti) {
    const V4 zero{};
    for (int64_t g = 0; g < count; g += 4 * B) {
        const double* x = xs + g / B;
        const V4 a = zero + x[0], b = zero + x[1], c = zero + x[2], d = zero + x[3];
        for (int64_t j = 0; j < B; j += 4) {
            Quad q{a, zero, b, zero, c, zero, d, zero};
            stagePairOnQuad(q, B, j, tr, ti);
            storeQuad(re + g, im + g, B, j, q);
        }
    }
}

// The stages from h on that reach beyond a cache block.
[[gnu::always_inline]] inline void wideStages(double* re, double* im, int64_t n, int64_t h,
                                              const double* tr, const double* ti) {
    while (n >= kRowStagesFrom && h < n && h >= kCacheBlock) {
        int k = 0;
        while (k < kMaxRowBits && (h << k) < n) ++k;
        rowStages(re, im, n, h, k, tr, ti);
        h <<= k;
    }
    stagesBelow(re, im, n, h, n, tr, ti);
}

}  // namespace

__attribute__((target_clones("avx2", "default"))) void butterflyStages(double* re, double* im,
                                                                       int64_t n, int64_t firstHalf,
                                                                       const double* tr,
                                                                       const double* ti) {
    // The stages that stay within blocks of kCacheBlock values run block by
    // block, so each block is finished while it sits in the first-level
    // cache; the later stages then run over the whole array.
    int64_t h = firstHalf;
    if (n > kCacheBlock && h < kCacheBlock) {
        for (int64_t b = 0; b < n; b += kCacheBlock) {
            stagesBelow(re + b, im + b, kCacheBlock, h, kCacheBlock, tr, ti);
        }
        h = kCacheBlock;
    }
    wideStages(re, im, n, h, tr, ti);
}

__attribute__((target_clones("avx2", "default"))) bool butterflyStagesFromBlocks(
    const double* values, int64_t block, double* re, double* im, int64_t n, const double* tr,
    const double* ti) {
    if (block < 4 || block % 4 != 0 || 4 * block > n) return false;
    int64_t h = 4 * block;
    if (n > kCacheBlock && h <= kCacheBlock) {
        for (int64_t b = 0; b < n; b += kCacheBlock) {
            spreadStagePair(re + b, im + b, kCacheBlock, block, values + b / block, tr, ti);
            stagesBelow(re + b, im + b, kCacheBlock, h, kCacheBlock, tr, ti);
        }
        h = kCacheBlock;
    } else {
        spreadStagePair(re, im, n, block, values, tr, ti);
    }
    wideStages(re, im, n, h, tr, ti);
    return true;
}

}  // namespace sonvola
