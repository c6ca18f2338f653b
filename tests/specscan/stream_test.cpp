// The block-wise signal path gives exactly what the whole-array steps give.
#include "specscan/stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "specscan/kaiser.h"
#include "specscan/reference/downsample.h"
#include "specscan/reference/wavsamples.h"
#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"

namespace sonvola {
namespace {

struct Case {
    int rate;
    int channels;
    int bits;
    int frames;  // sample frames in the file
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << c.rate << " Hz " << c.channels << " ch " << c.bits << " bit " << c.frames << " frames";
}

class StreamedSignal : public ::testing::TestWithParam<Case> {};

TEST_P(StreamedSignal, EqualsTheWholeArraySteps) {
    const Case c = GetParam();
    test::TempDir dir;
    std::vector<int16_t> samples(static_cast<size_t>(c.frames * c.channels));
    for (size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<int16_t>(9000 * std::sin(0.031 * static_cast<double>(i)) +
                                          static_cast<double>(i % 17) * 40);
    }
    const std::string wav = dir.file("s.wav");
    test::writeFile(
        wav,
        test::makeWav(samples, {.sampleRate = c.rate, .channels = c.channels, .bits = c.bits}));
    const int64_t dataBytes =
        static_cast<int64_t>(samples.size()) * c.bits / 8 + 3;  // a few bytes too many
    std::string console;

    // The whole-array way.
    std::vector<int16_t> all;
    ASSERT_TRUE(readWaveSamples(wav, dataBytes, 44, c.bits, all, console));
    int64_t v = dataBytes;
    if (c.channels == 2) {
        MonoSignal m = convertStereoToMono(all, static_cast<int32_t>(dataBytes), 1, console);
        all = m.samples;
        v = m.dataBytes;
    }
    const int64_t n = std::min<int64_t>(8 * (v / c.bits), static_cast<int64_t>(all.size()));
    std::vector<double> expected;
    std::vector<double> h;
    if (c.rate > 11025) {
        ASSERT_EQ(downSample(std::span<const int16_t>(all.data(), static_cast<size_t>(n)), c.rate,
                             11025.0, expected, console),
                  DownSampleStatus::Ok);
        h = downSamplingFilter(c.rate, 11025.0);
    } else {
        expected.assign(all.begin(), all.begin() + n);
    }

    // The block-wise way, pulled in uneven pieces.
    auto stream = std::make_unique<WaveSampleStream>();
    ASSERT_TRUE(stream->open(wav, dataBytes, 44, c.bits));
    EXPECT_EQ(stream->total(), c.bits == 8 ? dataBytes : dataBytes / 2);
    auto source = c.rate > 11025
                      ? downSampledSignal(std::move(stream), c.channels == 2, n, h, c.rate, 11025.0)
                      : directSignal(std::move(stream), c.channels == 2, n);
    std::vector<double> got;
    std::vector<double> piece(997);
    size_t k;
    while ((k = source->read(piece.data(), piece.size() - got.size() % 7)) > 0)
        got.insert(got.end(), piece.begin(), piece.begin() + static_cast<long>(k));
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i]) << i;

    int mini = 0, maxi = 0;
    ASSERT_TRUE(scanAmplitude(wav, dataBytes, 44, c.bits, mini, maxi));
    std::vector<int16_t> raw;
    readWaveSamples(wav, dataBytes, 44, c.bits, raw, console);
    EXPECT_EQ(mini, *std::min_element(raw.begin(), raw.end()));
    EXPECT_EQ(maxi, *std::max_element(raw.begin(), raw.end()));
}

INSTANTIATE_TEST_SUITE_P(Files, StreamedSignal,
                         ::testing::Values(Case{44100, 2, 16, 90000}, Case{48000, 1, 16, 40001},
                                           Case{22050, 2, 8, 30001}, Case{11025, 2, 16, 5001},
                                           Case{11025, 1, 8, 999}, Case{44100, 1, 16, 3000},
                                           Case{16000, 1, 16, 0}));

TEST(FrameReader, FramesOverlapAndPastTheEndAreZero) {
    struct Ramp : SignalSource {
        int64_t next = 0, end = 1000;
        size_t read(double* out, size_t max) override {
            size_t n = 0;
            while (n < max && next < end) out[n++] = static_cast<double>(next++);
            return n;
        }
    } ramp;
    FrameReader frames(ramp, 8);
    double f[8];
    frames.frameAt(0, f);
    EXPECT_EQ(f[7], 7.0);
    frames.frameAt(5, f);
    EXPECT_EQ(f[0], 5.0);
    frames.frameAt(995, f);
    EXPECT_EQ(f[4], 999.0);
    EXPECT_EQ(f[5], 0.0);
    frames.frameAt(5000, f);
    EXPECT_EQ(f[0], 0.0);
}

}  // namespace
}  // namespace sonvola
