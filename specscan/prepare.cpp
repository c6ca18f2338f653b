#include "specscan/prepare.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "specscan/butterflies.h"

namespace sonvola {

MonoSignal convertStereoToMono(std::span<const int16_t> interleaved, int32_t dataBytes,
                               int32_t byteRate, std::FILE* err) {
    MonoSignal m;
    m.dataBytes = dataBytes / 2;
    m.byteRate = byteRate / 2;
    m.samples.resize((interleaved.size() + 1) / 2);
    for (size_t i = 0; i < m.samples.size(); ++i) m.samples[i] = interleaved[2 * i];
    std::fprintf(err, "\n\tConvert stereo into mono: %ld[bytes] -> %ld[bytes]", 2L * m.dataBytes,
                 static_cast<long>(m.dataBytes));
    std::fprintf(err, "\n\t                          %ld[[bytes/frame] -> %ld[[bytes/frame]\n",
                 2L * m.byteRate, static_cast<long>(m.byteRate));
    return m;
}

KaiserParameters kaiserParameters(double a, double delta) {
    double beta;
    if (a < 21.0) {
        beta = 0.0;
    } else if (a <= 50.0) {
        beta = 0.5842 * std::pow(a - 21.0, 0.4) + 0.07886 * (a - 21.0);
    } else {
        beta = 0.1102 * (a - 8.7);
    }
    if (delta == 0.0) delta = 0.0001;
    // 7.1785392134526775 is 2.285 * pi.
    double n0 = (a - 8.0) / (7.1785392134526775 * delta);
    return {beta, static_cast<int64_t>(n0)};
}

double besselI0(double x) {
    double sum = 1.0;
    double x2 = x * x;
    double t = x2 / 4.0;
    if (t < 2e-9) return 1.0;
    double k = 4.0;
    for (;;) {
        sum = sum + t;
        t = t * x2 / (k * k);
        k += 2.0;
        if (t < 2e-9 * sum) break;
    }
    return sum;
}

std::vector<double> designKaiserLowPass(double cutoffRatio, double attenuationDb,
                                        double transitionWidth, double gain) {
    KaiserParameters kp = kaiserParameters(attenuationDb, transitionWidth);
    int64_t len = 2 * (kp.order / 2) + 1;
    int64_t mid = (len - 1) / 2;
    std::vector<double> h(static_cast<size_t>(len));
    double i0beta = besselI0(kp.beta);
    for (int64_t i = 0; i < len; ++i) {
        double w = 1.0;
        if (len > 1) {
            double x = static_cast<double>(2 * i - len + 1) / static_cast<double>(len - 1);
            w = besselI0(kp.beta * std::sqrt(1.0 - x * x)) / i0beta;
        }
        int64_t k = i - mid;
        if (k == 0) {
            h[static_cast<size_t>(i)] = w * gain * cutoffRatio;
        } else {
            double theta = M_PI * cutoffRatio * static_cast<double>(k);
            h[static_cast<size_t>(i)] = w * gain * cutoffRatio * std::sin(theta) / theta;
        }
    }
    return h;
}

static bool isPowerOfTwo(int64_t m) {
    return m > 0 && (m & (m - 1)) == 0;
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

bool convolutionFft(double* re, double* im, int64_t m, bool inverse, std::FILE* err) {
    if (!isPowerOfTwo(m)) {
        std::fputs("fft error: fft point must be a power of 2\n", err);
        return false;
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
    return true;
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
    convolutionFft(hr.data(), hi.data(), m, false);
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

namespace {

int64_t nextPowerOfTwo(int64_t v) {
    int64_t m = 2;  // the exponent is at least 1
    while (m < v) m <<= 1;
    return m;
}

// Overlap-add convolution over any sample type; the output is accumulated
// straight into the aligned result (full-output index j + L/2), which adds
// the same values in the same order as a full-length buffer would.
template <typename Sample>
std::vector<double> overlapAdd(std::span<const double> h, std::span<const Sample> x) {
    const int64_t len = static_cast<int64_t>(h.size());
    const int64_t n = static_cast<int64_t>(x.size());
    std::vector<double> y(static_cast<size_t>(n), 0.0);
    if (len == 0) return y;
    const int64_t m = n < len ? nextPowerOfTwo(len + n - 1) : nextPowerOfTwo(2 * len);
    const int64_t block = m - len + 1;
    int64_t blocks = (n + block - 1) / block;
    if (blocks < 1) blocks = 1;
    const int64_t fullLen = len + n - 1;
    const int64_t delay = len / 2;

    std::vector<double> hr(static_cast<size_t>(m), 0.0), hi(static_cast<size_t>(m), 0.0);
    for (int64_t k = 0; k < len; ++k) hr[static_cast<size_t>(k)] = h[static_cast<size_t>(k)];
    convolutionFft(hr.data(), hi.data(), m, false);

    std::vector<double> xr(static_cast<size_t>(m)), xi(static_cast<size_t>(m));
    for (int64_t b = 0; b < blocks; ++b) {
        const int64_t s = b * block;
        for (int64_t k = 0; k < m; ++k) {
            xr[static_cast<size_t>(k)] =
                (k < block && s + k < n) ? static_cast<double>(x[static_cast<size_t>(s + k)]) : 0.0;
            xi[static_cast<size_t>(k)] = 0.0;
        }
        convolutionFft(xr.data(), xi.data(), m, false);
        for (int64_t k = 0; k < m; ++k) {
            size_t u = static_cast<size_t>(k);
            double r = xr[u] * hr[u] - xi[u] * hi[u];
            double i = xr[u] * hi[u] + xi[u] * hr[u];
            xr[u] = r;
            xi[u] = i;
        }
        convolutionFft(xr.data(), xi.data(), m, true);
        for (int64_t k = 0; k < m && s + k < fullLen; ++k) {
            int64_t j = s + k - delay;
            if (j >= 0 && j < n) y[static_cast<size_t>(j)] += xr[static_cast<size_t>(k)];
        }
    }
    return y;
}

}  // namespace

std::vector<double> fastConvolve(std::span<const double> h, std::span<const double> x) {
    return overlapAdd<double>(h, x);
}

std::vector<double> resampleLinear(std::span<const double> y, double inRateHz, double outRateHz) {
    const double c = inRateHz / outRateHz;
    const int64_t n = static_cast<int64_t>(y.size());
    const int64_t outLen = static_cast<int64_t>(static_cast<double>(n) / c);
    std::vector<double> out(static_cast<size_t>(outLen > 0 ? outLen : 0));
    double t = 0.0;
    for (int64_t j = 0; j < outLen; ++j) {
        int64_t i0 = static_cast<int64_t>(t);
        double f = t - static_cast<double>(i0);
        double a = i0 < n ? y[static_cast<size_t>(i0)] : 0.0;
        if (f == 0.0) {
            out[static_cast<size_t>(j)] = a;
        } else {
            // The last position can fall just before the end; past it the signal is 0.
            double b = i0 + 1 < n ? y[static_cast<size_t>(i0 + 1)] : 0.0;
            out[static_cast<size_t>(j)] = (1.0 - f) * a + f * b;
        }
        t = t + c;
    }
    return out;
}

DownSampleStatus downSample(std::span<const int16_t> samples, double inRateHz, double outRateHz,
                            std::vector<double>& result, std::FILE* err) {
    std::vector<double> h;
    try {
        h = designKaiserLowPass(outRateHz / inRateHz, kStopBandAttenuationDb, 400.0 / inRateHz,
                                1.0);
    } catch (const std::bad_alloc&) {
        return DownSampleStatus::FilterAllocationFailed;
    }
    std::fprintf(err, "\n\tLow-pass filter: %8.2f[Hz], %ld points\n", 0.5 * outRateHz,
                 static_cast<long>(h.size()));
    try {
        std::vector<double> filtered = overlapAdd<int16_t>(h, samples);
        result = resampleLinear(filtered, inRateHz, outRateHz);
    } catch (const std::bad_alloc&) {
        return DownSampleStatus::AllocationFailed;
    }
    std::fprintf(err, "\tDown-sampling: %8.2f[Hz] to %8.2f[Hz]\n", inRateHz, outRateHz);
    return DownSampleStatus::Ok;
}

}  // namespace sonvola
