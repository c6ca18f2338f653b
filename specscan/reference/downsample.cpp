#include "specscan/reference/downsample.h"

#include <new>

#include "specscan/blockfilter.h"
#include "specscan/kaiser.h"
#include "specscan/stepmessages.h"

namespace sonvola {

MonoSignal convertStereoToMono(std::span<const int16_t> interleaved, int32_t dataBytes,
                               int32_t byteRate, std::string& console) {
    MonoSignal m;
    m.dataBytes = dataBytes / 2;
    m.byteRate = byteRate / 2;
    m.samples.resize((interleaved.size() + 1) / 2);
    for (size_t i = 0; i < m.samples.size(); ++i) m.samples[i] = interleaved[2 * i];
    console += stereoToMonoMessage(m.dataBytes, m.byteRate);
    return m;
}

namespace {

// Overlap-add convolution over any sample type; the output is accumulated
// straight into the aligned result (full-output index j + L/2), which adds
// the same values in the same order as a full-length buffer would.
template <typename Sample>
std::vector<double> overlapAdd(std::span<const double> h, std::span<const Sample> x) {
    const int64_t len = static_cast<int64_t>(h.size());
    const int64_t n = static_cast<int64_t>(x.size());
    std::vector<double> y(static_cast<size_t>(n), 0.0);
    if (len == 0) return y;
    const OverlapAddPlan plan = planOverlapAdd(len, n);
    const int64_t m = plan.m;

    std::vector<double> hr(static_cast<size_t>(m), 0.0), hi(static_cast<size_t>(m), 0.0);
    for (int64_t k = 0; k < len; ++k) hr[static_cast<size_t>(k)] = h[static_cast<size_t>(k)];
    (void)convolutionFft(hr.data(), hi.data(), m, false);  // m is a power of two

    std::vector<double> xr(static_cast<size_t>(m)), xi(static_cast<size_t>(m));
    for (int64_t b = 0; b < plan.blocks; ++b) {
        const int64_t s = b * plan.block;
        for (int64_t k = 0; k < m; ++k) {
            xr[static_cast<size_t>(k)] = (k < plan.block && s + k < n)
                                             ? static_cast<double>(x[static_cast<size_t>(s + k)])
                                             : 0.0;
            xi[static_cast<size_t>(k)] = 0.0;
        }
        (void)convolutionFft(xr.data(), xi.data(), m, false);
        for (int64_t k = 0; k < m; ++k) {
            size_t u = static_cast<size_t>(k);
            double r = xr[u] * hr[u] - xi[u] * hi[u];
            double i = xr[u] * hi[u] + xi[u] * hr[u];
            xr[u] = r;
            xi[u] = i;
        }
        (void)convolutionFft(xr.data(), xi.data(), m, true);
        for (int64_t k = 0; k < m && s + k < plan.fullLength; ++k) {
            int64_t j = s + k - plan.delay;
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
                            std::vector<double>& result, std::string& console) {
    std::vector<double> h;
    try {
        h = downSamplingFilter(inRateHz, outRateHz);
    } catch (const std::bad_alloc&) {
        return DownSampleStatus::FilterAllocationFailed;
    }
    console += lowPassFilterMessage(outRateHz, static_cast<int64_t>(h.size()));
    try {
        std::vector<double> filtered = overlapAdd<int16_t>(h, samples);
        result = resampleLinear(filtered, inRateHz, outRateHz);
    } catch (const std::bad_alloc&) {
        return DownSampleStatus::AllocationFailed;
    }
    console += downSamplingMessage(inRateHz, outRateHz);
    return DownSampleStatus::Ok;
}

}  // namespace sonvola
