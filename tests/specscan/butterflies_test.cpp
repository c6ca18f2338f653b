#include "specscan/butterflies.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "specscan/blockfilter.h"

namespace sonvola {
namespace {

// The stages one butterfly at a time, stage by stage, j-major: the order
// the arranged version must reproduce bit for bit.
void referenceStages(double* re, double* im, int64_t n, int64_t first, const double* tr,
                     const double* ti) {
    for (int64_t h = first; h < n; h <<= 1) {
        for (int64_t j = 0; j < h; ++j) {
            for (int64_t b = 0; b < n; b += 2 * h) {
                const int64_t p = b + j, q = b + j + h;
                const double xr = tr[h + j] * re[q] - ti[h + j] * im[q];
                const double xi = tr[h + j] * im[q] + ti[h + j] * re[q];
                re[q] = re[p] - xr;
                im[q] = im[p] - xi;
                re[p] = re[p] + xr;
                im[p] = im[p] + xi;
            }
        }
    }
}

bool sameBits(const std::vector<double>& a, const std::vector<double>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(Butterflies, MatchTheStageByStageOrderBitForBit) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int64_t n = 4; n <= (int64_t{1} << 16); n <<= 1) {
        std::vector<double> tr(static_cast<size_t>(n)), ti(tr.size());
        for (auto& v : tr) v = u(rng);
        for (auto& v : ti) v = u(rng);
        for (int64_t first = 1; first < n; first <<= 2) {
            std::vector<double> re(static_cast<size_t>(n)), im(re.size());
            for (size_t i = 0; i < re.size(); ++i) {
                // Values of very different sizes, some exact zeros.
                re[i] = i % 7 == 0 ? 0.0 : u(rng) * std::ldexp(1.0, static_cast<int>(i % 40) - 20);
                im[i] = i % 5 == 0 ? 0.0 : u(rng);
            }
            auto refRe = re, refIm = im;
            referenceStages(refRe.data(), refIm.data(), n, first, tr.data(), ti.data());
            butterflyStages(re.data(), im.data(), n, first, tr.data(), ti.data());
            EXPECT_TRUE(sameBits(re, refRe)) << "n " << n << " first " << first;
            EXPECT_TRUE(sameBits(im, refIm)) << "n " << n << " first " << first;
        }
    }
}

TEST(Butterflies, FromBlockValuesEqualSpreadingFirst) {
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int64_t n = 16; n <= (int64_t{1} << 16); n <<= 1) {
        std::vector<double> tr(static_cast<size_t>(n)), ti(tr.size());
        for (auto& v : tr) v = u(rng);
        for (auto& v : ti) v = u(rng);
        for (int64_t block = 2; block <= n; block <<= 1) {
            std::vector<double> values(static_cast<size_t>(n / block));
            for (size_t k = 0; k < values.size(); ++k) values[k] = k % 5 == 0 ? 0.0 : u(rng) * 1e3;
            if (values.size() > 1) values[1] = -0.0;
            std::vector<double> re(static_cast<size_t>(n)), im(re.size(), 0.0);
            for (int64_t k = 0; k < n; ++k)
                re[static_cast<size_t>(k)] = values[static_cast<size_t>(k / block)];
            butterflyStages(re.data(), im.data(), n, block, tr.data(), ti.data());
            std::vector<double> re2(static_cast<size_t>(n), 7.0), im2(re2.size(), 7.0);
            const bool done = butterflyStagesFromBlocks(values.data(), block, re2.data(),
                                                        im2.data(), n, tr.data(), ti.data());
            EXPECT_EQ(done, block % 4 == 0 && 4 * block <= n) << n << " " << block;
            if (!done) continue;
            EXPECT_TRUE(sameBits(re, re2)) << "n " << n << " block " << block;
            EXPECT_TRUE(sameBits(im, im2)) << "n " << n << " block " << block;
        }
    }
}

class BlockFilterSizes : public ::testing::TestWithParam<std::pair<int64_t, size_t>> {};

// Small transforms take the plain gather, large ones the tiled one.
INSTANTIATE_TEST_SUITE_P(Butterflies, BlockFilterSizes,
                         ::testing::Values(std::pair<int64_t, size_t>{64, 21},
                                           std::pair<int64_t, size_t>{256, 101},
                                           std::pair<int64_t, size_t>{1 << 15, 14621}));

TEST_P(BlockFilterSizes, EqualTheTwoConvolutionTransforms) {
    const int64_t m = GetParam().first;
    std::mt19937 rng(3);
    std::uniform_int_distribution<int> sample(-32768, 32767);
    std::vector<double> h(GetParam().second);
    for (size_t i = 0; i < h.size(); ++i) h[i] = std::sin(0.01 * static_cast<double>(i)) * 1e-3;
    const int64_t count = m - static_cast<int64_t>(h.size()) + 1;
    std::vector<int16_t> in(static_cast<size_t>(count));
    for (auto& v : in) v = static_cast<int16_t>(sample(rng));

    // The plain route: zero-padded block, forward, product, inverse.
    std::vector<double> hr(static_cast<size_t>(m), 0.0), hi(hr.size(), 0.0);
    std::copy(h.begin(), h.end(), hr.begin());
    ASSERT_TRUE(convolutionFft(hr.data(), hi.data(), m, false));
    for (int64_t used : {count, count / 3}) {
        std::vector<double> xr(static_cast<size_t>(m), 0.0), xi(xr.size(), 0.0);
        for (int64_t k = 0; k < used; ++k) xr[static_cast<size_t>(k)] = in[static_cast<size_t>(k)];
        ASSERT_TRUE(convolutionFft(xr.data(), xi.data(), m, false));
        for (size_t k = 0; k < xr.size(); ++k) {
            const double r = xr[k] * hr[k] - xi[k] * hi[k];
            const double i = xr[k] * hi[k] + xi[k] * hr[k];
            xr[k] = r;
            xi[k] = i;
        }
        ASSERT_TRUE(convolutionFft(xr.data(), xi.data(), m, true));

        BlockFilter filter(h, m);
        std::vector<double> out(static_cast<size_t>(m));
        filter.filter(in.data(), used, out.data());
        EXPECT_TRUE(sameBits(out, xr)) << "samples " << used;
    }
}

}  // namespace
}  // namespace sonvola
