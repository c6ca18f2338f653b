#include "specscan/peaks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <random>
#include <string>

#include "common/framedistance.h"
#include "common/peakfile.h"
#include "specscan/reference/spectrum.h"
#include "specscan/shortterm.h"
#include "specscan/spectrum.h"
#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

// Transforms a frame and picks its peaks.
std::string peaksOf(std::vector<double> frame, int nfft, LevelExtremes& ex) {
    std::vector<double> re(static_cast<size_t>(nfft), 0.0), im(static_cast<size_t>(nfft), 0.0),
        level(static_cast<size_t>(nfft), 0.0);
    std::copy(frame.begin(), frame.end(), re.begin());
    SpectrumFft fft;
    EXPECT_TRUE(fft.transform(nfft, re.data(), im.data()));
    levelsDb(re.data(), im.data(), level.data(), highestLevelBinNeeded(nfft) + 1);
    std::string rec;
    pickPeaks(re.data(), im.data(), level.data(), nfft, rec, ex);
    return rec;
}

TEST(PickPeaks, ToneOnAnExactBinGivesThatBinsFrequency) {
    const int n = 1024;
    const int bin = 100;
    std::vector<double> frame(n);
    for (int t = 0; t < n; ++t)
        frame[static_cast<size_t>(t)] = 8000.0 * std::cos(2 * M_PI * bin * t / n);
    LevelExtremes ex;
    std::string rec = peaksOf(frame, n, ex);
    char expected[64];
    std::snprintf(expected, sizeof expected, "%0.2f %0.2f ", bin * 11025.0 / n,
                  20 * std::log10(4000.0));
    EXPECT_EQ(rec, expected);
    EXPECT_NEAR(ex.maxdB, 20 * std::log10(4000.0), 1e-9);
    EXPECT_EQ(ex.mindB,
              1000.0);  // a level that raises the maximum is not compared with the minimum
}

// A spectrum with one peak at bin p (and its lower neighbour lower).
std::string singlePeakAt(int64_t p, int64_t nfft, double levelDb, LevelExtremes& ex) {
    std::vector<double> re(static_cast<size_t>(nfft), 0.0), im(static_cast<size_t>(nfft), 0.0),
        level(static_cast<size_t>(nfft), -100.0);
    re[static_cast<size_t>(p)] = std::pow(10.0, levelDb / 20.0);
    re[static_cast<size_t>(p - 1)] = re[static_cast<size_t>(p)] / 2;
    level[static_cast<size_t>(p)] = levelDb;
    level[static_cast<size_t>(p - 1)] = levelDb - 6;
    std::string rec;
    pickPeaks(re.data(), im.data(), level.data(), nfft, rec, ex);
    return rec;
}

TEST(PickPeaks, UpperNeighbourDecidesTheFrequencyLimit) {
    LevelExtremes ex;
    EXPECT_FALSE(singlePeakAt(2042, 4096, 30.0, ex).empty());
    EXPECT_TRUE(singlePeakAt(2043, 4096, 30.0, ex).empty());
    EXPECT_EQ(highestLevelBinNeeded(4096), 2043);
}

TEST(PickPeaks, QuietFramesGiveNoPairsAndKeepTheExtremes) {
    LevelExtremes ex;
    EXPECT_TRUE(singlePeakAt(100, 4096, 9.99, ex).empty());
    EXPECT_EQ(ex.maxdB, -1000.0);
    EXPECT_EQ(ex.mindB, 1000.0);
    EXPECT_FALSE(singlePeakAt(100, 4096, 10.0, ex).empty());
    EXPECT_EQ(ex.maxdB, 10.0);
}

TEST(PickPeaks, FlatTopGivesSeveralPeaksAndUndefinedFrequencyIsLeftOut) {
    const int nfft = 64;
    std::vector<double> re(nfft, 1.0), im(nfft, 0.0), level(nfft, 0.0);
    level[10] = level[11] = 20.0;
    re[11] = 2.0;
    std::string rec;
    LevelExtremes ex;
    pickPeaks(re.data(), im.data(), level.data(), nfft, rec, ex);
    // Bin 10 equals bin 9 as a complex value: 0/0, not written; bin 11 is.
    EXPECT_EQ(rec, "2067.19 20.00 ");  // q = 10 + 2 * 1 / 1
    EXPECT_EQ(ex.maxdB, 20.0);         // updated by the unwritten peak too
}

TEST(ShortTerm, Distance) {
    EXPECT_EQ(shortTermDistance(512, 10, 10), 3);
    EXPECT_EQ(shortTermDistance(219, 10, 10), 0);  // N < 22 s
    EXPECT_EQ(shortTermDistance(220, 10, 10), 1);
    EXPECT_EQ(shortTermDistance(2, 10, 10), 0);
    EXPECT_EQ(shortTermDistance(512, 10, 0), 0);
}

std::string head(int loopCount) {
    return "MaxdB: 40.00 MindB: 10.00" + std::string(46, ' ') +
           "\nFrameRate: 10 LoopCount: " + std::to_string(loopCount) + "\nsong.wav\n" +
           std::string(177, '-') + "\n";
}

std::string rewrittenHead(int loopCount) {
    return "MaxdB: 40.00 MindB: 10.00  \nFrameRate: 10 LoopCount: " + std::to_string(loopCount) +
           "\nsong.wav\n" + std::string(177, '-') + "\n";
}

TEST(ShortTerm, KeepsPairsConfirmedDFramesLaterWithinEightDb) {
    TempDir dir;
    const std::string path = dir.file("SpecScan.txt");
    // d = 3 (N 512, 10 ms): record 0 is compared with record 3.
    writeFile(path, head(5) +
                        "10: 440.00 17.99 445.00 18.00 880.00 30.00 end\n20: 100.00 20.00 end\n"
                        "30: end\n40: 441.00 10.00 440.50 10.00 end\n50: end\nend_of_file");
    const Status r = shortTermEstimation(path, 512, 10);
    ASSERT_TRUE(r.ok()) << r.message();
    EXPECT_EQ(readFile(path), rewrittenHead(5) +
                                  "10: end\n20: end\n30: end\n"
                                  "40: 440.00 17.99 440.00 17.99 end\n"  // matched twice
                                  "50: end\nend_of_file");
}

TEST(ShortTerm, DistanceZeroMatchesEveryPairWithItself) {
    TempDir dir;
    const std::string path = dir.file("SpecScan.txt");
    writeFile(path, head(1) + "10: 440.00 20.00 1000.00 30.00 end\nend_of_file");
    ASSERT_TRUE(shortTermEstimation(path, 100, 10).ok());
    EXPECT_EQ(readFile(path), rewrittenHead(1) + "10: 440.00 20.00 1000.00 30.00 end\nend_of_file");
}

TEST(ShortTerm, LoopCountBelowDistanceGivesOnlyEmptyRecords) {
    TempDir dir;
    const std::string path = dir.file("SpecScan.txt");
    writeFile(path, head(2) + "10: 440.00 20.00 end\n20: 440.00 20.00 end\nend_of_file");
    ASSERT_TRUE(shortTermEstimation(path, 512, 10).ok());
    EXPECT_EQ(readFile(path), rewrittenHead(2) + "10: end\n20: end\n30: end\nend_of_file");
}

TEST(ShortTerm, MissingOrBrokenListIsRefused) {
    TempDir dir;
    const Status r = shortTermEstimation(dir.file("none.txt"), 512, 10);
    EXPECT_EQ(r.code<EstimationError>(), EstimationError::CannotOpen);
    EXPECT_EQ(r.message(), "err: Cannot open file:" + dir.file("none.txt") + "\n");
    writeFile(dir.file("cut.txt"), head(2) + "10: 440.00 20.00 end\n20: 44");
    EXPECT_EQ(shortTermEstimation(dir.file("cut.txt"), 512, 10).code<EstimationError>(),
              EstimationError::ReadFailed);
    // The broken file is left as it was.
    EXPECT_EQ(readFile(dir.file("cut.txt")), head(2) + "10: 440.00 20.00 end\n20: 44");
    // Also when the break lies after the records the comparison uses (the
    // list is read as a stream, but to its end).
    std::string longList = head(2);
    for (int k = 1; k <= 40; ++k) longList += std::to_string(10 * k) + ": 440.00 20.00 end\n";
    longList += "410: 440.00";
    writeFile(dir.file("late.txt"), longList);
    const Status late = shortTermEstimation(dir.file("late.txt"), 100, 10);
    EXPECT_EQ(late.code<EstimationError>(), EstimationError::ReadFailed);
    EXPECT_EQ(late.message(), "err: " + dir.file("late.txt") +
                                  " ends before \"end_of_file\" (after 40 complete records)\n");
    EXPECT_EQ(readFile(dir.file("late.txt")), longList);
    EXPECT_FALSE(std::filesystem::exists(dir.file("late.txt.part")));
}

// The streamed rewrite equals comparing records i and i + d of the whole
// table, for lists shorter and longer than LoopCount and distances 0 to 5.
TEST(ShortTerm, StreamedRewriteEqualsTheWholeTableRule) {
    std::mt19937 g(9);
    for (int trial = 0; trial < 30; ++trial) {
        const int records = static_cast<int>(g() % 30);
        const int loopCount = static_cast<int>(g() % 30);
        const int frameLength = 110 + static_cast<int>(g() % 6) * 110;  // d = 0 .. 5 at 10 ms
        std::vector<std::vector<std::pair<int, int>>> table(static_cast<size_t>(records));
        std::string list = head(loopCount);
        for (int r = 0; r < records; ++r) {
            list += std::to_string(10 * (r + 1)) + ": ";
            const int pairs = static_cast<int>(g() % 4);
            for (int p = 0; p < pairs; ++p) {
                const int f = 220 * (1 + static_cast<int>(g() % 3)),
                          l = 10 + static_cast<int>(g() % 12);
                table[static_cast<size_t>(r)].push_back({f, l});
                list += std::to_string(f) + ".00 " + std::to_string(l) + ".00 ";
            }
            list += "end\n";
        }
        list += "end_of_file";
        const int d = static_cast<int>(shortTermDistance(frameLength, 10, 10));
        std::string want = rewrittenHead(loopCount);
        for (int r = 1; r <= d; ++r) want += std::to_string(10 * r) + ": end\n";
        auto at = [&](int i) {
            return i < records ? table[static_cast<size_t>(i)] : std::vector<std::pair<int, int>>{};
        };
        for (int i = 0; i < loopCount - d; ++i) {
            want += std::to_string(10 * (i + d + 1)) + ": ";
            for (auto [fa, la] : at(i)) {
                for (auto [fb, lb] : at(i + d)) {
                    if (fa == fb && std::abs(la - lb) < 8) {
                        want += std::to_string(fa) + ".00 " + std::to_string(la) + ".00 ";
                    }
                }
            }
            want += "end\n";
        }
        want += "end_of_file";
        TempDir dir;
        writeFile(dir.file("SpecScan.txt"), list);
        ASSERT_TRUE(shortTermEstimation(dir.file("SpecScan.txt"), frameLength, 10).ok());
        EXPECT_EQ(readFile(dir.file("SpecScan.txt")), want) << "trial " << trial;
    }
}

}  // namespace
}  // namespace sonvola

namespace sonvola {
namespace {

// Picking from the spectrum alone must give the same record and extremes as
// picking from the full level array, on music-like, noisy and tied spectra.
TEST(PickPeaks, FromSpectrumEqualsFromLevels) {
    std::mt19937 g(3);
    std::uniform_real_distribution<double> d(-1, 1);
    const int64_t nfft = 4096;
    std::vector<double> scratch;
    for (int trial = 0; trial < 60; ++trial) {
        std::vector<double> re(nfft, 0.0), im(nfft, 0.0), level(nfft);
        const double scale = trial % 3 == 0 ? 3.2 : trial % 3 == 1 ? 40.0 : 3000.0;
        for (int64_t j = 0; j < 512; ++j)
            re[static_cast<size_t>(j)] =
                scale * d(g) * std::sin(0.05 * (trial + 1) * static_cast<double>(j));
        SpectrumFft fft;
        ASSERT_TRUE(fft.transform(nfft, re.data(), im.data()));
        if (trial % 4 == 0) {  // equal neighbours and a bin at exactly 10 dB
            re[101] = re[100];
            im[101] = im[100];
            re[200] = std::sqrt(10.0);
            im[200] = 0.0;
        }
        if (trial % 4 == 1) {  // a value that is not a number, and neighbours one step apart
            re[300] = std::nan("");
            re[401] = std::nextafter(re[400], 1e300);
            im[401] = im[400];
            re[403] = std::nan("");
            im[403] = std::nan("");
        }
        levelsDb(re.data(), im.data(), level.data(), highestLevelBinNeeded(nfft) + 1);
        std::string a, b;
        LevelExtremes ea, eb;
        pickPeaks(re.data(), im.data(), level.data(), nfft, a, ea);
        pickPeaksFromSpectrum(re.data(), im.data(), nfft, b, eb, scratch);
        ASSERT_EQ(a, b) << trial;
        ASSERT_EQ(ea.maxdB, eb.maxdB);
        ASSERT_EQ(ea.mindB, eb.mindB);
    }
}

}  // namespace
}  // namespace sonvola
