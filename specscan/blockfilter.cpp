#include "specscan/blockfilter.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "specscan/butterflies.h"

namespace sonvola {

namespace {

// The smallest power of two from 2 on that is at least v.
int64_t nextPowerOfTwo(int64_t v) {
    return v <= 2 ? 2 : static_cast<int64_t>(std::bit_ceil(static_cast<uint64_t>(v)));
}

}  // namespace

OverlapAddPlan planOverlapAdd(int64_t len, int64_t n) {
    OverlapAddPlan p;
    p.m = n < len ? nextPowerOfTwo(len + n - 1) : nextPowerOfTwo(2 * len);
    p.block = p.m - len + 1;
    p.blocks = std::max<int64_t>(1, (n + p.block - 1) / p.block);
    p.fullLength = len + n - 1;
    p.delay = len / 2;
    return p;
}

namespace {

// The bit-reversal order and the twiddles of one transform size, made once
// and reused by every block of the filter. Stage h keeps its twiddles at
// h .. 2h - 1: cos(pi j/h) - i sin(pi j/h), stepped by repeated
// multiplication with the first one (the rounding of every later twiddle
// depends on that order, so it is kept).
struct ConvolutionTables {
    int64_t m = 0;
    std::vector<int64_t> reversed;  // the bit-reversed index of each index
    std::vector<double> tr, ti;

    void prepare(int64_t size) {
        if (size == m) return;
        m = 0;
        reversed.assign(static_cast<size_t>(size), 0);
        tr.assign(static_cast<size_t>(size), 0.0);
        ti.assign(static_cast<size_t>(size), 0.0);
        for (int64_t i = 0, j = 0; i < size; ++i) {
            reversed[static_cast<size_t>(i)] = j;
            int64_t bit = size >> 1;
            while (bit >= 1 && (j & bit)) {
                j ^= bit;
                bit >>= 1;
            }
            j |= bit;
        }
        for (int64_t h = 1; h < size; h <<= 1) {
            const double wr = std::cos(M_PI / static_cast<double>(h));
            const double wi = -std::sin(M_PI / static_cast<double>(h));
            double ur = 1.0, ui = 0.0;
            for (int64_t j = 0; j < h; ++j) {
                tr[static_cast<size_t>(h + j)] = ur;
                ti[static_cast<size_t>(h + j)] = ui;
                const double nr = ur * wr - ui * wi;
                ui = ur * wi + ui * wr;
                ur = nr;
            }
        }
        m = size;
    }
};

const ConvolutionTables& convolutionTables(int64_t m) {
    thread_local ConvolutionTables tables;
    tables.prepare(m);
    return tables;
}

}  // namespace

Status convolutionFft(double* re, double* im, int64_t m, bool inverse) {
    if (m <= 0 || !std::has_single_bit(static_cast<uint64_t>(m))) {
        return Status::error("fft error: fft point must be a power of 2\n");
    }
    const ConvolutionTables& tables = convolutionTables(m);
    if (inverse) {
        for (int64_t i = 0; i < m; ++i) im[i] = -im[i];
    }
    for (int64_t i = 0; i < m; ++i) {
        const int64_t j = tables.reversed[static_cast<size_t>(i)];
        if (i < j) {
            std::swap(re[i], re[j]);
            std::swap(im[i], im[j]);
        }
    }
    butterflyStages(re, im, m, 1, tables.tr.data(), tables.ti.data());
    if (inverse) {
        // m is a power of two: multiplying by 1/m and -1/m gives exactly the
        // quotients x / m and x / -m.
        const double scale = 1.0 / static_cast<double>(m);
        const double negScale = 1.0 / -static_cast<double>(m);
        for (int64_t i = 0; i < m; ++i) {
            re[i] = re[i] * scale;
            im[i] = im[i] * negScale;
        }
    }
    return {};
}

// The bit-reversal permutation in tiles of 16 x 16 (for m = 2^L, L >= 8):
// with i = x 2^(L-4) + c 2^4 + y, the reversed index is
// rev(y) 2^(L-4) + rev(c) 2^4 + rev(x). For one middle part c, the 256
// indices i form 16 runs of 16 neighbours (one per x), and so do their
// reversed indices (one per rev(y)): the runs a tile reads are copied to a
// small local tile first, each fetched once, and the results are written 16
// neighbours at a time, instead of one far-away value per output.

BlockFilter::BlockFilter(std::span<const double> h, int64_t m) : m_(m) {
    const size_t size = static_cast<size_t>(m);
    std::vector<double> hr(size, 0.0), hi(size, 0.0);
    std::copy(h.begin(), h.end(), hr.begin());
    (void)convolutionFft(hr.data(), hi.data(), m, false);  // m is a power of two
    const ConvolutionTables& tables = convolutionTables(m);
    auto shared = std::make_shared<Tables>();
    shared->reversed = tables.reversed;
    shared->tr = tables.tr;
    shared->ti = tables.ti;
    const std::vector<int64_t>& reversed = shared->reversed;
    while ((int64_t{1} << bits_) < m) ++bits_;
    // The filter's spectrum at the bit-reversed index of each index, in the
    // order the product pass reads it: tile by tile when tiles are used.
    shared->hr.resize(size);
    shared->hi.resize(size);
    size_t next = 0;
    forEachIndex([&](size_t i) {
        const size_t k = static_cast<size_t>(reversed[i]);
        shared->hr[next] = hr[k];
        shared->hi[next] = hi[k];
        ++next;
    });
    for (int64_t y = 0; y < 16 && bits_ >= 8; ++y) {
        rev4_[y] = static_cast<int>(reversed[static_cast<size_t>(y)] >> (bits_ - 4));
    }
    tables_ = std::move(shared);
}

BlockFilter::BlockFilter(const BlockFilter& other)
    : m_(other.m_), bits_(other.bits_), tables_(other.tables_) {
    std::copy(std::begin(other.rev4_), std::end(other.rev4_), rev4_);
}

template <typename F>
void BlockFilter::forEachIndex(F&& f) const {
    if (bits_ < 8) {
        for (size_t i = 0; i < static_cast<size_t>(m_); ++i) f(i);
        return;
    }
    const int high = bits_ - 4;
    for (int64_t c = 0; c < (int64_t{1} << (bits_ - 8)); ++c) {
        for (int64_t x = 0; x < 16; ++x) {
            for (int64_t y = 0; y < 16; ++y) f(static_cast<size_t>((x << high) | (c << 4) | y));
        }
    }
}

void BlockFilter::filter(const int16_t* in, int64_t count, double* out) {
    const Tables& tables = *tables_;
    const std::vector<int64_t>& reversed = tables.reversed;
    const std::vector<double>& hr = tables.hr;
    const std::vector<double>& hi = tables.hi;
    if (xr_.empty()) {
        const size_t size = static_cast<size_t>(m_);
        xr_.resize(size);
        xi_.resize(size);
        yr_.resize(size);
        yi_.resize(size);
    }
    // Forward transform: the block zero-padded to m values, read straight
    // into bit-reversed order (the permutation the swaps make).
    std::fill(xi_.begin(), xi_.end(), 0.0);
    if (bits_ < 8) {
        for (int64_t i = 0; i < m_; ++i) {
            const int64_t t = reversed[static_cast<size_t>(i)];
            xr_[static_cast<size_t>(i)] = t < count ? static_cast<double>(in[t]) : 0.0;
        }
    } else {
        const int high = bits_ - 4;
        alignas(64) double tile[16][16];
        for (int64_t c = 0; c < (int64_t{1} << (bits_ - 8)); ++c) {
            const int64_t middle = reversed[static_cast<size_t>(c << 4)];  // rev(c) 2^4
            for (int64_t row = 0; row < 16; ++row) {
                const int64_t from = (row << high) | middle;
                for (int64_t col = 0; col < 16; ++col) {
                    const int64_t t = from + col;
                    tile[row][col] = t < count ? static_cast<double>(in[t]) : 0.0;
                }
            }
            for (int64_t x = 0; x < 16; ++x) {
                double* to = xr_.data() + ((x << high) | (c << 4));
                const int column = rev4_[x];
                for (int64_t y = 0; y < 16; ++y) to[y] = tile[rev4_[y]][column];
            }
        }
    }
    butterflyStages(xr_.data(), xi_.data(), m_, 1, tables.tr.data(), tables.ti.data());
    // Product with the filter's spectrum, conjugated for the inverse
    // transform and gathered into its bit-reversed order in the same pass.
    if (bits_ < 8) {
        for (size_t u = 0; u < static_cast<size_t>(m_); ++u) {
            const size_t k = static_cast<size_t>(reversed[u]);
            const double r = xr_[k] * hr[u] - xi_[k] * hi[u];
            const double im = xr_[k] * hi[u] + xi_[k] * hr[u];
            yr_[u] = r;
            yi_[u] = -im;
        }
    } else {
        const int high = bits_ - 4;
        alignas(64) double tr[16][16], ti[16][16];
        const double* fr = hr.data();  // in tile order: read straight through
        const double* fi = hi.data();
        for (int64_t c = 0; c < (int64_t{1} << (bits_ - 8)); ++c) {
            const int64_t middle = reversed[static_cast<size_t>(c << 4)];
            for (int64_t row = 0; row < 16; ++row) {
                const size_t from = static_cast<size_t>((row << high) | middle);
                std::copy_n(xr_.data() + from, 16, tr[row]);
                std::copy_n(xi_.data() + from, 16, ti[row]);
            }
            for (int64_t x = 0; x < 16; ++x) {
                const size_t to = static_cast<size_t>((x << high) | (c << 4));
                const int column = rev4_[x];
                for (int64_t y = 0; y < 16; ++y, ++fr, ++fi) {
                    const double a = tr[rev4_[y]][column], b = ti[rev4_[y]][column];
                    const double r = a * *fr - b * *fi;
                    const double im = a * *fi + b * *fr;
                    yr_[to + static_cast<size_t>(y)] = r;
                    yi_[to + static_cast<size_t>(y)] = -im;
                }
            }
        }
    }
    butterflyStages(yr_.data(), yi_.data(), m_, 1, tables.tr.data(), tables.ti.data());
    // Only the real parts are used: the imaginary parts are never scaled.
    const double scale = 1.0 / static_cast<double>(m_);  // exact: m is a power of two
    for (int64_t k = 0; k < m_; ++k) out[k] = yr_[static_cast<size_t>(k)] * scale;
}

}  // namespace sonvola
