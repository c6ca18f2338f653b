// The rate step: the filter's design, the transform of the convolution, the
// plain convolution and resampling, and the console lines of the steps.
#include "specscan/reference/downsample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

#include "specscan/blockfilter.h"
#include "specscan/kaiser.h"
#include "specscan/stepmessages.h"

namespace sonvola {
namespace {

std::vector<double> randomData(size_t n, unsigned seed) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> d(-1.0, 1.0);
    std::vector<double> v(n);
    for (auto& x : v) x = d(g);
    return v;
}

// Naive DFT with the sign convention of the forward transform.
std::vector<std::complex<double>> naiveDft(const std::vector<double>& re,
                                           const std::vector<double>& im) {
    const size_t n = re.size();
    std::vector<std::complex<double>> out(n);
    for (size_t k = 0; k < n; ++k) {
        std::complex<double> s = 0;
        for (size_t t = 0; t < n; ++t) {
            s += std::complex<double>(re[t], im[t]) *
                 std::polar(1.0,
                            -2.0 * M_PI * static_cast<double>(k * t % n) / static_cast<double>(n));
        }
        out[k] = s;
    }
    return out;
}

struct FilterCase {
    int rate;
    size_t length;
};

class KaiserLength : public ::testing::TestWithParam<FilterCase> {};

TEST_P(KaiserLength, MatchesTheRate) {
    const double rate = GetParam().rate;
    auto h = designKaiserLowPass(11025.0 / rate, 960.0, 400.0 / rate, 1.0);
    EXPECT_EQ(h.size(), GetParam().length);
    // Symmetric about the middle, the middle coefficient equal to the cut-off ratio.
    const size_t m = (h.size() - 1) / 2;
    EXPECT_DOUBLE_EQ(h[m], 11025.0 / rate);
    for (size_t i = 0; i < m; i += 97) EXPECT_NEAR(h[i], h[h.size() - 1 - i], 1e-15);
}

INSTANTIATE_TEST_SUITE_P(Rates, KaiserLength,
                         ::testing::Values(FilterCase{16000, 5305}, FilterCase{22050, 7311},
                                           FilterCase{32000, 10609}, FilterCase{44100, 14621},
                                           FilterCase{48000, 15915}));

TEST(Kaiser, ParametersOfTheDownSampler) {
    KaiserParameters p = kaiserParameters(960.0, 400.0 / 44100.0);
    EXPECT_NEAR(p.beta, 104.83326, 1e-9);
    EXPECT_EQ(p.order, 14621);
    EXPECT_EQ(kaiserParameters(20.0, 0.1).beta, 0.0);
    EXPECT_NEAR(kaiserParameters(40.0, 0.1).beta, 0.5842 * std::pow(19.0, 0.4) + 0.07886 * 19.0,
                1e-12);
    // A width of exactly 0 becomes 0.0001.
    EXPECT_EQ(kaiserParameters(60.0, 0.0).order,
              static_cast<int64_t>(52.0 / (7.1785392134526775 * 0.0001)));
}

TEST(BesselI0, KnownValues) {
    EXPECT_EQ(besselI0(0.0), 1.0);
    EXPECT_EQ(besselI0(1e-5), 1.0);  // t below 2e-9
    EXPECT_NEAR(besselI0(1.0), 1.2660658777520082, 1e-9);
    EXPECT_NEAR(besselI0(5.0), 27.239871823604442, 1e-7);
    EXPECT_NEAR(besselI0(-2.0), 2.2795853023360673, 1e-9);
    EXPECT_NEAR(besselI0(104.83326) / 1.3173075848382405e44, 1.0, 1e-6);
}

class ConvolutionFftSize : public ::testing::TestWithParam<int> {};

TEST_P(ConvolutionFftSize, ForwardIsUnscaledDftAndInverseRestores) {
    const size_t n = static_cast<size_t>(GetParam());
    auto re = randomData(n, 1), im = randomData(n, 2);
    auto expected = naiveDft(re, im);
    auto r = re, i = im;
    ASSERT_TRUE(convolutionFft(r.data(), i.data(), static_cast<int64_t>(n), false));
    for (size_t k = 0; k < n; ++k) {
        EXPECT_NEAR(r[k], expected[k].real(), 1e-9 * static_cast<double>(n));
        EXPECT_NEAR(i[k], expected[k].imag(), 1e-9 * static_cast<double>(n));
    }
    ASSERT_TRUE(convolutionFft(r.data(), i.data(), static_cast<int64_t>(n), true));
    for (size_t k = 0; k < n; ++k) {
        EXPECT_NEAR(r[k], re[k], 1e-12);
        EXPECT_NEAR(i[k], im[k], 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, ConvolutionFftSize, ::testing::Values(2, 4, 8, 64, 256, 1024));

TEST(ConvolutionFft, RefusesSizesThatAreNotPowersOfTwo) {
    std::vector<double> re{1, 2, 3}, im{0, 0, 0};
    const Status status = convolutionFft(re.data(), im.data(), 3, false);
    EXPECT_FALSE(status);
    EXPECT_EQ(re, (std::vector<double>{1, 2, 3}));
    EXPECT_EQ(status.message(), "fft error: fft point must be a power of 2\n");
    EXPECT_FALSE(convolutionFft(re.data(), im.data(), 0, false));
    EXPECT_FALSE(convolutionFft(re.data(), im.data(), -4, false));
}

TEST(OverlapAddPlan, BlocksCoverTheInput) {
    // A filter of 14621 taps on one second at 44.1 kHz: transforms of 32768.
    OverlapAddPlan p = planOverlapAdd(14621, 44100);
    EXPECT_EQ(p.m, 32768);
    EXPECT_EQ(p.block, 32768 - 14621 + 1);
    EXPECT_EQ(p.blocks, 3);
    EXPECT_EQ(p.fullLength, 14621 + 44100 - 1);
    EXPECT_EQ(p.delay, 7310);
    // An input shorter than the filter: one transform holds the whole output.
    p = planOverlapAdd(31, 20);
    EXPECT_EQ(p.m, 64);
    EXPECT_EQ(p.blocks, 1);
    // The smallest transform has 2 points, and there is always a block.
    p = planOverlapAdd(1, 0);
    EXPECT_EQ(p.m, 2);
    EXPECT_EQ(p.blocks, 1);
    EXPECT_EQ(planOverlapAdd(5, 1000).m, 16);
}

TEST(FastConvolve, EqualsDirectConvolutionWithDelayRemoved) {
    for (auto [len, n] : {std::pair<size_t, size_t>{7, 50}, {31, 20}, {5, 1000}, {1, 9}}) {
        auto h = randomData(len, 3), x = randomData(n, 4);
        auto y = fastConvolve(h, x);
        ASSERT_EQ(y.size(), n);
        for (size_t j = 0; j < n; ++j) {
            double direct = 0;
            const size_t full = j + len / 2;
            for (size_t k = 0; k < len; ++k) {
                if (full >= k && full - k < n) direct += h[k] * x[full - k];
            }
            EXPECT_NEAR(y[j], direct, 1e-12) << "L=" << len << " n=" << n << " j=" << j;
        }
    }
}

TEST(Resample, HalfRateTakesEverySecondSample) {
    std::vector<double> y{0, 1, 2, 3, 4, 5, 6, 7, 8};
    auto out = resampleLinear(y, 22050.0, 11025.0);
    EXPECT_EQ(out, (std::vector<double>{0, 2, 4, 6}));
}

TEST(Resample, NonIntegerStepInterpolatesWithAccumulatedPosition) {
    std::vector<double> y(100);
    for (size_t i = 0; i < y.size(); ++i) y[i] = static_cast<double>(i) * 2.0;
    auto out = resampleLinear(y, 48000.0, 11025.0);
    const double c = 48000.0 / 11025.0;
    ASSERT_EQ(out.size(), static_cast<size_t>(100.0 / c));
    double t = 0;
    for (size_t j = 0; j < out.size(); ++j) {
        EXPECT_NEAR(out[j], 2.0 * t, 1e-9);
        t += c;
    }
    EXPECT_EQ(resampleLinear(y, 11026.0, 11025.0).size(), 99u);
}

// Level in dB of a sinusoid of `freq` in a signal, by correlation over its middle.
double toneLevelDb(const std::vector<double>& s, double freq, double rate) {
    std::complex<double> acc = 0;
    const size_t from = s.size() / 4, to = 3 * s.size() / 4;
    for (size_t i = from; i < to; ++i)
        acc += s[i] * std::polar(1.0, -2.0 * M_PI * freq * static_cast<double>(i) / rate);
    return 20.0 * std::log10(2.0 * std::abs(acc) / static_cast<double>(to - from));
}

TEST(DownSample, KeepsThePassBandAndRemovesTheStopBand) {
    const int rate = 44100;
    const size_t n = 44100;  // one second
    std::vector<int16_t> pass(n);
    std::vector<double> stop(n);
    for (size_t i = 0; i < n; ++i) {
        pass[i] = static_cast<int16_t>(
            std::lround(10000.0 * std::sin(2 * M_PI * 440.0 * static_cast<double>(i) / rate)));
        stop[i] = 10000.0 * std::sin(2 * M_PI * 7000.0 * static_cast<double>(i) / rate);
    }
    std::string console;
    std::vector<double> outPass;
    ASSERT_EQ(downSample(pass, rate, 11025.0, outPass, console), DownSampleStatus::Ok);
    EXPECT_EQ(outPass.size(), n / 4);
    const double inDb = 20.0 * std::log10(10000.0);
    EXPECT_NEAR(toneLevelDb(outPass, 440.0, 11025.0), inDb, 0.01);
    // The same filter and resampler on an unquantised 7 kHz tone (16-bit
    // rounding alone leaves noise only about 90 dB down): it must be gone.
    auto h = designKaiserLowPass(11025.0 / rate, 960.0, 400.0 / rate, 1.0);
    auto outStop = resampleLinear(fastConvolve(h, stop), rate, 11025.0);
    double maxAbs = 0;
    for (size_t i = outStop.size() / 4; i < 3 * outStop.size() / 4; ++i) {
        maxAbs = std::max(maxAbs, std::fabs(outStop[i]));
    }
    EXPECT_LT(20.0 * std::log10(maxAbs + 1e-300), inDb - 100.0);
    EXPECT_EQ(console,
              "\n\tLow-pass filter:  5512.50[Hz], 14621 points\n"
              "\tDown-sampling: 44100.00[Hz] to 11025.00[Hz]\n");
}

TEST(StereoToMono, KeepsTheLeftChannelAndHalvesTheCounts) {
    std::vector<int16_t> st{1, -1, 2, -2, 3, -3};
    std::string console;
    MonoSignal m = convertStereoToMono(st, 13, 176401, console);  // odd counts round down
    EXPECT_EQ(m.samples, (std::vector<int16_t>{1, 2, 3}));
    EXPECT_EQ(m.dataBytes, 6);
    EXPECT_EQ(m.byteRate, 88200);
    EXPECT_EQ(console,
              "\n\tConvert stereo into mono: 12[bytes] -> 6[bytes]"
              "\n\t                          176400[[bytes/frame] -> 88200[[bytes/frame]\n");
}

TEST(StepMessages, LinesAsTheProgramPrintsThem) {
    EXPECT_EQ(amplitudeMessage(-32768, 32767),
              "\n\tAmplitude is \"mini: -32768\" and \"maxi: 32767\".\n");
    // Counts beyond the int32 range are written whole.
    EXPECT_EQ(stereoToMonoMessage(3000000000, 1),
              "\n\tConvert stereo into mono: 6000000000[bytes] -> 3000000000[bytes]"
              "\n\t                          2[[bytes/frame] -> 1[[bytes/frame]\n");
    EXPECT_EQ(lowPassFilterMessage(11025.0, 15915),
              "\n\tLow-pass filter:  5512.50[Hz], 15915 points\n");
    EXPECT_EQ(downSamplingMessage(96000.0, 11025.0),
              "\tDown-sampling: 96000.00[Hz] to 11025.00[Hz]\n");
}

TEST(DownSamplingFilter, IsTheKaiserDesignOfTheRateStep) {
    for (double rate : {16000.0, 44100.0}) {
        EXPECT_EQ(downSamplingFilter(rate, 11025.0),
                  designKaiserLowPass(11025.0 / rate, 960.0, 400.0 / rate, 1.0));
    }
}

}  // namespace
}  // namespace sonvola
