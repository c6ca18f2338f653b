#include "specscan/spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

#include "specscan/reference/spectrum.h"

namespace sonvola {
namespace {

class SpectrumFftSize : public ::testing::TestWithParam<int> {};

TEST_P(SpectrumFftSize, ForwardIsScaledDftAndInverseIsUnscaled) {
    const int n = GetParam();
    std::mt19937 g(7);
    std::uniform_real_distribution<double> d(-1, 1);
    std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        re[static_cast<size_t>(i)] = d(g);
        im[static_cast<size_t>(i)] = d(g);
    }
    auto r = re, i = im;
    SpectrumFft fft;
    ASSERT_TRUE(fft.transform(n, r.data(), i.data()));
    for (int k = 0; k < n; ++k) {
        std::complex<double> s = 0;
        for (int t = 0; t < n; ++t) {
            s += std::complex<double>(re[static_cast<size_t>(t)], im[static_cast<size_t>(t)]) *
                 std::polar(1.0,
                            -2.0 * M_PI * static_cast<double>((static_cast<long>(k) * t) % n) / n);
        }
        s /= static_cast<double>(n);
        EXPECT_NEAR(r[static_cast<size_t>(k)], s.real(), 1e-12);
        EXPECT_NEAR(i[static_cast<size_t>(k)], s.imag(), 1e-12);
    }
    ASSERT_TRUE(fft.transform(-n, r.data(), i.data()));
    for (int k = 0; k < n; ++k) {
        EXPECT_NEAR(r[static_cast<size_t>(k)], re[static_cast<size_t>(k)], 1e-12);
        EXPECT_NEAR(i[static_cast<size_t>(k)], im[static_cast<size_t>(k)], 1e-12);
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, SpectrumFftSize, ::testing::Values(4, 8, 16, 128, 512));

TEST(SpectrumFft, ImpulseDcAndNyquist) {
    const int n = 16;
    SpectrumFft fft;
    std::vector<double> re(n, 0.0), im(n, 0.0);
    re[0] = 1.0;
    ASSERT_TRUE(fft.transform(n, re.data(), im.data()));
    for (int k = 0; k < n; ++k) EXPECT_NEAR(re[static_cast<size_t>(k)], 1.0 / n, 1e-15);
    std::vector<double> dc(n, 2.0), z(n, 0.0);
    ASSERT_TRUE(fft.transform(n, dc.data(), z.data()));
    EXPECT_NEAR(dc[0], 2.0, 1e-15);
    for (int k = 1; k < n; ++k)
        EXPECT_NEAR(std::hypot(dc[static_cast<size_t>(k)], z[static_cast<size_t>(k)]), 0.0, 1e-15);
    std::vector<double> ny(n), z2(n, 0.0);
    for (int t = 0; t < n; ++t) ny[static_cast<size_t>(t)] = t % 2 ? -1.0 : 1.0;
    ASSERT_TRUE(fft.transform(n, ny.data(), z2.data()));
    EXPECT_NEAR(ny[n / 2], 1.0, 1e-15);
}

TEST(SpectrumFft, RefusesBadSizesAndReleases) {
    SpectrumFft fft;
    std::vector<double> re(6), im(6);
    const Status six = fft.transform(6, re.data(), im.data());
    EXPECT_FALSE(six);
    EXPECT_EQ(six.message(), "");  // a size the program never asks for: nothing to print
    EXPECT_FALSE(fft.transform(2, re.data(), im.data()));
    EXPECT_FALSE(fft.transformFrame(re.data(), 5, 4, re.data(), im.data()));  // frame too long
    EXPECT_TRUE(fft.transform(0, nullptr, nullptr));
    EXPECT_TRUE(spectrumFft(4, re.data(), im.data()));
}

TEST(FramePlan, FiveSecondsAtTenMilliseconds) {
    bool ok = false;
    // 5 s of 11025 Hz 16-bit mono.
    FramePlan p = planFrames(5.0 * 22050.0, 22050.0, 10.0, ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(p.loopCount, 500);
    EXPECT_EQ(p.step, 110);
    EXPECT_EQ((p.loopCount - 1) * p.step, 54890);  // start of frame 500
    EXPECT_EQ(p.loopCount * p.step, 55000);
    EXPECT_EQ(planFrames(100.0, 22050.0, 10.5, ok).step, 115);
}

TEST(FramePlan, RefusesWhatCannotMakeAFrameCount) {
    bool ok = true;
    planFrames(100.0, 0.0, 10.0, ok);
    EXPECT_FALSE(ok);
    planFrames(100.0, 100.0, 0.0, ok);
    EXPECT_FALSE(ok);
    planFrames(2e9, 1.0, 1.0, ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(planFrames(100.0, 22050.0, 10.0, ok).loopCount, 0);  // shorter than a shift
    EXPECT_TRUE(ok);
}

TEST(Windows, NamesInUtf8AndShiftJis) {
    EXPECT_EQ(parseWindowName("ハミング窓"), WindowKind::Hamming);
    EXPECT_EQ(parseWindowName("\x83\x6E\x83\x7E\x83\x93\x83\x4F\x91\x8B"), WindowKind::Hamming);
    EXPECT_EQ(parseWindowName("ブラックマン窓"), WindowKind::Blackman);
    EXPECT_EQ(parseWindowName("\x82\xC8\x82\xB5"), WindowKind::None);
    EXPECT_EQ(parseWindowName("三角窓"), WindowKind::Triangular);
    EXPECT_EQ(parseWindowName("方形窓"), WindowKind::Rectangular);
    EXPECT_EQ(parseWindowName("ハニング窓"), WindowKind::Hanning);
    EXPECT_FALSE(parseWindowName("hamming").has_value());
    EXPECT_FALSE(parseWindowName("ハミング窓 ").has_value());
}

std::vector<double> windowOfOnes(WindowKind kind, int n) {
    std::vector<double> v(static_cast<size_t>(n), 1.0);
    Window(kind, n).apply(v);
    return v;
}

TEST(Windows, CosineWindowsAreShiftedByOneSample) {
    auto h = windowOfOnes(WindowKind::Hanning, 512);
    EXPECT_EQ(h[1], 0.0);
    EXPECT_EQ(h[0], h[2]);
    auto m = windowOfOnes(WindowKind::Hamming, 512);
    EXPECT_NEAR(m[1], 0.08, 1e-15);
    EXPECT_EQ(m[0], m[2]);
    auto b = windowOfOnes(WindowKind::Blackman, 512);
    EXPECT_NEAR(b[1], 0.0, 1e-15);
    // The last sample takes the value of position N - 2.
    EXPECT_NEAR(h[511], 0.5 - 0.5 * std::cos(510.0 * 2.0 * M_PI / 511.0), 1e-15);
}

TEST(Windows, TriangleMiddleIsExactlyOneForOddLength) {
    for (int n : {5, 511, 513}) {
        auto t = windowOfOnes(WindowKind::Triangular, n);
        EXPECT_EQ(t[static_cast<size_t>((n - 1) / 2)], 1.0) << n;
        EXPECT_EQ(t[0], 0.0);
    }
    // Even length: the middle sample gets both factors.
    auto t = windowOfOnes(WindowKind::Triangular, 4);
    const double rise = 2.0 * 1 / 3.0;
    EXPECT_EQ(t[1], rise * (2.0 - rise));
}

TEST(Windows, RectangularAndNoneLeaveTheFrame) {
    for (auto kind : {WindowKind::Rectangular, WindowKind::None}) {
        std::vector<double> v{0.25, -3.0, 7.5};
        Window(kind, 3).apply(v);
        EXPECT_EQ(v, (std::vector<double>{0.25, -3.0, 7.5}));
    }
    std::vector<double> v{1.0, 2.0, 3.0};
    EXPECT_TRUE(applyWindow(v, 3, "なし"));
    EXPECT_FALSE(applyWindow(v, 3, "unknown"));
    EXPECT_FALSE(applyWindow(v, 1, "なし"));
}

TEST(Levels, TwentyLog10OfTheMagnitude) {
    double re[] = {3.0, 0.0, 10.0}, im[] = {4.0, 0.0, 0.0}, l[3];
    levelsDb(re, im, l, 3);
    EXPECT_NEAR(l[0], 20.0 * std::log10(5.0), 1e-12);
    EXPECT_TRUE(std::isinf(l[1]) && l[1] < 0);
    EXPECT_DOUBLE_EQ(l[2], 20.0);
}

}  // namespace
}  // namespace sonvola

namespace sonvola {
namespace {

class FrameTransform : public ::testing::TestWithParam<std::pair<int, int>> {};

// The shortcut for a zero-padded real frame gives the same bits as the full
// transform, for frames that fill the transform or only an eighth of it.
TEST_P(FrameTransform, EqualsTheFullTransformBitForBit) {
    const auto [frameLength, n] = GetParam();
    std::mt19937 g(11);
    std::uniform_real_distribution<double> d(-3000, 3000);
    std::vector<double> frame(static_cast<size_t>(frameLength));
    for (auto& x : frame) x = d(g);
    if (frameLength > 2) {
        frame[1] = 0.0;
        frame[2] = -0.0;
    }
    SpectrumFft a, b;
    std::vector<double> re(static_cast<size_t>(n), 0.0), im(static_cast<size_t>(n), 0.0);
    std::copy(frame.begin(), frame.end(), re.begin());
    ASSERT_TRUE(a.transform(n, re.data(), im.data()));
    std::vector<double> re2(static_cast<size_t>(n), 7.0), im2(static_cast<size_t>(n), 7.0);
    ASSERT_TRUE(b.transformFrame(frame.data(), frameLength, n, re2.data(), im2.data()));
    for (int k = 0; k < n; ++k) {
        ASSERT_EQ(re[static_cast<size_t>(k)], re2[static_cast<size_t>(k)]) << k;
        ASSERT_EQ(im[static_cast<size_t>(k)], im2[static_cast<size_t>(k)]) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Sizes, FrameTransform,
                         ::testing::Values(std::pair{512, 4096}, std::pair{511, 4096},
                                           std::pair{513, 4096}, std::pair{4096, 4096},
                                           std::pair{2, 4}, std::pair{100, 1024}, std::pair{1, 8}));

}  // namespace
}  // namespace sonvola
