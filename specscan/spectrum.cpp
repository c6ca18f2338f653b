#include "specscan/spectrum.h"

#include <bit>
#include <cmath>
#include <limits>
#include <new>

#include "specscan/butterflies.h"
#include "specscan/rates.h"

namespace sonvola {

namespace {

struct WindowName {
    WindowKind kind;
    const char* utf8;
    const char* sjis;
};

// Searched in this order.
const WindowName kWindowNames[] = {
    {WindowKind::Blackman, "ブラックマン窓",
     "\x83\x75\x83\x89\x83\x62\x83\x4E\x83\x7D\x83\x93\x91\x8B"},
    {WindowKind::Hanning, "ハニング窓", "\x83\x6E\x83\x6A\x83\x93\x83\x4F\x91\x8B"},
    {WindowKind::Hamming, "ハミング窓", "\x83\x6E\x83\x7E\x83\x93\x83\x4F\x91\x8B"},
    {WindowKind::Rectangular, "方形窓", "\x95\xFB\x8C\x60\x91\x8B"},
    {WindowKind::Triangular, "三角窓", "\x8E\x4F\x8A\x70\x91\x8B"},
    {WindowKind::None, "なし", "\x82\xC8\x82\xB5"},
};

// The transform sizes the tables are made for.
bool validSize(int64_t n) {
    return n >= 4 && std::has_single_bit(static_cast<uint64_t>(n));
}

const char* const kNoMemoryMessage = "記憶領域不足\n";

}  // namespace

std::optional<WindowKind> parseWindowName(const std::string& name) {
    for (const auto& w : kWindowNames) {
        if (name == w.utf8 || name == w.sjis) return w.kind;
    }
    return std::nullopt;
}

const char* windowListMessage() {
    return "\nerror! "
           "窓の種類が不明。窓の種類...ブラックマン窓・ハニング窓・ハミング窓・方形窓・三角窓・"
           "なし\n";
}

Window::Window(WindowKind kind, int n) : n_(n) {
    if (kind == WindowKind::Rectangular || kind == WindowKind::None || n < 2) return;
    factor_.resize(static_cast<size_t>(n));
    const double delta = 2.0 * M_PI / static_cast<double>(n - 1);
    for (int i = 0; i < n; ++i) {
        double x = static_cast<double>(i - 1) * delta;
        double f = 1.0;
        switch (kind) {
            case WindowKind::Blackman:
                f = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
                break;
            case WindowKind::Hanning:
                f = 0.5 - 0.5 * std::cos(x);
                break;
            case WindowKind::Hamming:
                f = 0.54 - 0.46 * std::cos(x);
                break;
            default:
                break;
        }
        factor_[static_cast<size_t>(i)] = f;
    }
    if (kind == WindowKind::Triangular) {
        mid_ = (n - 1) / 2;
        const double nm1 = static_cast<double>(n - 1);
        for (int i = 0; i < n; ++i) {
            double rise = 2.0 * static_cast<double>(i) / nm1;
            factor_[static_cast<size_t>(i)] = i <= mid_ ? rise : 2.0 - rise;
        }
        midSecond_ = 2.0 - 2.0 * static_cast<double>(mid_) / nm1;
    }
}

void Window::apply(std::span<double> frame) const {
    if (factor_.empty()) return;
    const size_t n = std::min(frame.size(), factor_.size());
    for (size_t i = 0; i < n; ++i) frame[i] *= factor_[i];
    // The middle sample of the triangle takes the rising factor, then the falling one.
    if (mid_ >= 0 && static_cast<size_t>(mid_) < n) frame[static_cast<size_t>(mid_)] *= midSecond_;
}

FramePlan planFrames(double dataBytes, double byteRate, double frameShiftMs, bool& ok) {
    FramePlan plan;
    ok = false;
    if (!(byteRate > 0.0) || !(frameShiftMs > 0.0)) return plan;
    double count = dataBytes / byteRate / frameShiftMs * 1000.0;
    if (!(count >= 0.0) || count > static_cast<double>(std::numeric_limits<int32_t>::max())) {
        return plan;
    }
    plan.loopCount = static_cast<int64_t>(count);
    plan.step = static_cast<int64_t>(frameShiftMs * kAnalysisSamplesPerMs);
    ok = true;
    return plan;
}

void SpectrumFft::release() {
    n_ = 0;
    sine_ = {};
    rev_ = {};
    cos_ = {};
    sin_ = {};
    negSin_ = {};
}

bool SpectrumFft::prepare(int64_t n) {
    if (n == n_) return true;
    try {
        release();
        sine_.resize(static_cast<size_t>(n + n / 4));
        rev_.resize(static_cast<size_t>(n));
        cos_.resize(static_cast<size_t>(n));
        sin_.resize(static_cast<size_t>(n));
        negSin_.resize(static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
        release();
        return false;
    }
    for (int64_t k = 0; k < n + n / 4; ++k) {
        sine_[static_cast<size_t>(k)] =
            std::sin(2.0 * M_PI * static_cast<double>(k) / static_cast<double>(n));
    }
    int bits = 0;
    while ((int64_t{1} << bits) < n) ++bits;
    for (int64_t i = 0; i < n; ++i) {
        int64_t r = 0;
        for (int b = 0; b < bits; ++b) r |= ((i >> b) & 1) << (bits - 1 - b);
        rev_[static_cast<size_t>(i)] = r;
    }
    // Each stage's factors laid out contiguously, so the butterflies read
    // them in order: stage h uses table entries j * n / 2h for j < h. A
    // forward butterfly computes dx = s * i1 + c * r1 and dy = c * i1 - s * r1
    // with s = sin; the shared stages compute c * r1 - (-s) * i1 and
    // c * i1 + (-s) * r1, which are the same numbers (negation is exact), so
    // the forward transform passes -sin and the inverse one +sin.
    for (int64_t h = 1; h < n; h <<= 1) {
        const int64_t d = n / (2 * h);
        for (int64_t j = 0; j < h; ++j) {
            cos_[static_cast<size_t>(h + j)] = sine_[static_cast<size_t>(j * d + n / 4)];
            negSin_[static_cast<size_t>(h + j)] = -sine_[static_cast<size_t>(j * d)];
            sin_[static_cast<size_t>(h + j)] = sine_[static_cast<size_t>(j * d)];
        }
    }
    n_ = n;
    return true;
}

Status SpectrumFft::transform(int64_t size, double* re, double* im) {
    if (size == 0) {
        release();
        return {};
    }
    const bool inverse = size < 0;
    const int64_t n = inverse ? -size : size;
    if (!validSize(n)) return Status::error({});
    if (!prepare(n)) return Status::error(kNoMemoryMessage);
    for (int64_t i = 0; i < n; ++i) {
        const int64_t r = rev_[static_cast<size_t>(i)];
        if (i < r) {
            std::swap(re[i], re[r]);
            std::swap(im[i], im[r]);
        }
    }
    butterflyStages(re, im, n, 1, cos_.data(), inverse ? sin_.data() : negSin_.data());
    if (!inverse) {
        // n is a power of two, so multiplying by 1/n gives exactly the
        // quotient x / n (both are x scaled by a power of two, rounded once).
        const double scale = 1.0 / static_cast<double>(n);
        for (int64_t i = 0; i < n; ++i) {
            re[i] = re[i] * scale;
            im[i] = im[i] * scale;
        }
    }
    return {};
}

Status SpectrumFft::transformFrame(const double* frame, int64_t frameLength, int64_t size,
                                   double* re, double* im, int64_t binsWanted) {
    const int64_t n = size;
    if (!validSize(n) || frameLength > n) return Status::error({});
    if (!prepare(n)) return Status::error(kNoMemoryMessage);
    // With inputs only below frameLength <= n / 2^z, after the bit reversal
    // each block of 2^z values holds one input at its start and zeros; the
    // first z stages add and subtract products of those zeros, which leaves
    // the input in every place of its block and every imaginary part zero.
    int64_t block = 1;
    while (block < n && frameLength <= n / (block * 2)) block *= 2;
    blockValues_.resize(static_cast<size_t>(n / block));
    for (int64_t k = 0; k < n; k += block) {
        const int64_t t = rev_[static_cast<size_t>(k)];
        blockValues_[static_cast<size_t>(k / block)] = t < frameLength ? frame[t] : 0.0;
    }
    // The spreading itself is folded into the first two stages where it can be.
    if (!butterflyStagesFromBlocks(blockValues_.data(), block, re, im, n, cos_.data(),
                                   negSin_.data())) {
        for (int64_t k = 0; k < n; k += block) {
            const double x = blockValues_[static_cast<size_t>(k / block)];
            for (int64_t j = 0; j < block; ++j) {
                re[k + j] = x;
                im[k + j] = 0.0;
            }
        }
        butterflyStages(re, im, n, block, cos_.data(), negSin_.data());
    }
    const double scale = 1.0 / static_cast<double>(n);  // exact, as above
    const int64_t scaled = binsWanted >= 0 && binsWanted < n ? binsWanted : n;
    for (int64_t i = 0; i < scaled; ++i) {
        re[i] = re[i] * scale;
        im[i] = im[i] * scale;
    }
    return {};
}

}  // namespace sonvola
