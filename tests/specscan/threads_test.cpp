// SpecScan on several threads writes exactly what it writes on one: the
// filter's blocks, the frames, the records and the level extremes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "specscan/framescan.h"
#include "specscan/kaiser.h"
#include "specscan/parallel.h"
#include "specscan/peaks.h"
#include "specscan/spectrum.h"
#include "specscan/stream.h"
#include "tests/support/process.h"
#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"

namespace sonvola {
namespace {

using test::ProcessOptions;
using test::ProcessResult;
using test::readFile;
using test::TempDir;
using test::writeFile;

const int kThreadCounts[] = {2, 3, 8};

// Noise and a few tones that change every quarter of a second, each channel
// its own; the same samples for the same arguments.
std::vector<int16_t> noiseAndTones(double seconds, int rate, int channels, uint64_t seed) {
    const size_t frames = static_cast<size_t>(seconds * rate);
    std::vector<int16_t> s(frames * static_cast<size_t>(channels));
    uint64_t x = seed * 0x9E3779B97F4A7C15ULL + 1;
    const double notes[] = {220.0, 261.6, 329.6, 392.0, 440.0, 523.3, 659.3, 880.0, 1046.5};
    for (size_t i = 0; i < frames; ++i) {
        const double t = static_cast<double>(i) / rate;
        const size_t step = static_cast<size_t>(t * 4.0);
        const double f1 = notes[step % 9], f2 = notes[(step * 5 + 2) % 9] * 2.0;
        for (int c = 0; c < channels; ++c) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            const double noise = static_cast<double>(static_cast<int64_t>(x >> 52) - 2048);
            const double v = 7000.0 * std::sin(2.0 * M_PI * f1 * t + c) +
                             2500.0 * std::sin(2.0 * M_PI * f2 * t) + noise;
            s[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
        }
    }
    return s;
}

// ---------------------------------------------------------------------------
// The pool.

TEST(ThreadPool, EveryItemOnceInRangesOfAtMostTheGrain) {
    for (int threads : {1, 2, 3, 8}) {
        const ThreadPool pool(threads);
        EXPECT_EQ(pool.threads(), threadPoolAvailable() ? threads : 1);
        for (int64_t count : {0, 1, 5, 16, 17, 1000, 1001}) {
            for (int64_t grain : {1, 16}) {
                std::vector<std::atomic<int>> seen(static_cast<size_t>(count));
                std::vector<std::atomic<bool>> busy(static_cast<size_t>(pool.threads()));
                std::atomic<bool> slotShared{false}, tooLong{false}, badSlot{false};
                pool.forEach(count, grain, [&](int slot, int64_t begin, int64_t end) {
                    if (slot < 0 || slot >= pool.threads()) {
                        badSlot = true;
                        return;
                    }
                    // No other range may hold the slot meanwhile.
                    if (busy[static_cast<size_t>(slot)].exchange(true)) slotShared = true;
                    if (end - begin > grain || end <= begin) tooLong = true;
                    for (int64_t i = begin; i < end; ++i) ++seen[static_cast<size_t>(i)];
                    busy[static_cast<size_t>(slot)] = false;
                });
                EXPECT_FALSE(badSlot);
                EXPECT_FALSE(slotShared);
                EXPECT_FALSE(tooLong);
                for (int64_t i = 0; i < count; ++i) {
                    ASSERT_EQ(seen[static_cast<size_t>(i)].load(), 1)
                        << threads << " threads, " << count << " items, item " << i;
                }
            }
        }
    }
}

TEST(ThreadPool, AlongsideRunsBothAndAllowsWorkInEither) {
    for (int threads : {1, 2, 4}) {
        const ThreadPool pool(threads);
        std::atomic<int64_t> background{0}, foreground{0};
        auto sum = [&](std::atomic<int64_t>& total) {
            pool.forEach(100, 3, [&](int, int64_t begin, int64_t end) {
                for (int64_t i = begin; i < end; ++i) total += i;
            });
        };
        pool.alongside([&] { sum(background); }, [&] { sum(foreground); });
        EXPECT_EQ(background.load(), 4950);
        EXPECT_EQ(foreground.load(), 4950);
    }
}

TEST(ThreadPool, ExceptionsComeBackToTheCaller) {
    for (int threads : {1, 2, 4}) {
        const ThreadPool pool(threads);
        EXPECT_THROW(pool.forEach(64, 4,
                                  [&](int, int64_t begin, int64_t) {
                                      if (begin == 32) throw std::runtime_error("range");
                                  }),
                     std::runtime_error);
        bool backgroundRan = false;
        EXPECT_THROW(pool.alongside([&] { backgroundRan = true; },
                                    [&] { throw std::runtime_error("foreground"); }),
                     std::runtime_error);
        EXPECT_TRUE(backgroundRan);  // waited for before the exception left
        EXPECT_THROW(pool.alongside([&] { throw std::runtime_error("background"); }, [] {}),
                     std::runtime_error);
        // The pool still works afterwards.
        std::atomic<int> n{0};
        pool.forEach(10, 1, [&](int, int64_t, int64_t) { ++n; });
        EXPECT_EQ(n.load(), 10);
    }
}

// ---------------------------------------------------------------------------
// The level extremes.

TEST(LevelExtremes, DependOnTheOrderOfTheLevels) {
    // A level that raises the maximum is never compared with the minimum, so
    // the extremes cannot be combined as a minimum and a maximum of parts.
    LevelExtremes a, b;
    a.add(12.0);
    a.add(15.0);
    b.add(15.0);
    b.add(12.0);
    EXPECT_EQ(a.maxdB, 15.0);
    EXPECT_EQ(a.mindB, 1000.0);
    EXPECT_EQ(b.maxdB, 15.0);
    EXPECT_EQ(b.mindB, 12.0);
}

TEST(PickPeaksFromSpectrum, TheListOfLevelsReplaysToTheSameExtremes) {
    std::mt19937 g(7);
    std::normal_distribution<double> d(0.0, 1.0);
    const int64_t nfft = 2048;
    std::vector<double> scratch1, scratch2;
    LevelExtremes direct, replayed;
    for (int frame = 0; frame < 40; ++frame) {
        std::vector<double> x(static_cast<size_t>(nfft), 0.0), y(static_cast<size_t>(nfft), 0.0);
        const double scale = frame % 3 == 0 ? 3.0 : frame % 3 == 1 ? 300.0 : 30000.0;
        for (int64_t j = 0; j < 512; ++j) {
            x[static_cast<size_t>(j)] =
                scale * d(g) * std::sin(0.07 * (frame + 1) * static_cast<double>(j));
        }
        SpectrumFft fft;
        ASSERT_TRUE(fft.transform(nfft, x.data(), y.data()));
        std::string a, b;
        std::vector<double> levels;
        pickPeaksFromSpectrum(x.data(), y.data(), nfft, a, direct, scratch1);
        pickPeaksFromSpectrum(x.data(), y.data(), nfft, b, levels, scratch2);
        ASSERT_EQ(a, b) << frame;
        for (double l : levels) replayed.add(l);
        ASSERT_EQ(std::bit_cast<uint64_t>(direct.maxdB), std::bit_cast<uint64_t>(replayed.maxdB));
        ASSERT_EQ(std::bit_cast<uint64_t>(direct.mindB), std::bit_cast<uint64_t>(replayed.mindB));
    }
    EXPECT_GT(direct.maxdB, direct.mindB);  // both were moved
}

// ---------------------------------------------------------------------------
// The filter's blocks and the frames.

class ThreadedDownSampling : public ::testing::TestWithParam<std::pair<int, double>> {};

TEST_P(ThreadedDownSampling, GivesTheSameNumbersAsOneThread) {
    const int rate = GetParam().first;
    const double seconds = GetParam().second;
    TempDir dir;
    const std::vector<int16_t> samples = noiseAndTones(seconds, rate, 1, 3);
    const std::string wav = dir.file("s.wav");
    writeFile(wav, test::makeWav(samples, {.sampleRate = rate}));
    const int64_t n = static_cast<int64_t>(samples.size());
    const std::vector<double> h = designKaiserLowPass(11025.0 / rate, 960.0, 400.0 / rate, 1.0);
    auto signalOn = [&](int threads) {
        auto stream = std::make_unique<WaveSampleStream>();
        EXPECT_TRUE(stream->open(wav, 2 * n, 44, 16));
        const ThreadPool pool(threads);
        auto source = downSampledSignal(std::move(stream), false, n, h, rate, 11025.0, &pool);
        std::vector<uint64_t> bits;
        std::vector<double> piece(4099);
        size_t k;
        while ((k = source->read(piece.data(), piece.size())) > 0) {
            for (size_t i = 0; i < k; ++i) bits.push_back(std::bit_cast<uint64_t>(piece[i]));
        }
        return bits;
    };
    const std::vector<uint64_t> one = signalOn(1);
    ASSERT_EQ(static_cast<int64_t>(one.size()),
              static_cast<int64_t>(static_cast<double>(n) / (rate / 11025.0)));
    for (int threads : kThreadCounts) EXPECT_TRUE(signalOn(threads) == one) << threads;
}

// From less than one block of the filter to many rounds of blocks.
INSTANTIATE_TEST_SUITE_P(Lengths, ThreadedDownSampling,
                         ::testing::Values(std::pair{44100, 0.2}, std::pair{44100, 1.5},
                                           std::pair{44100, 9.3}, std::pair{48000, 4.0},
                                           std::pair{22050, 6.1}));

// The analysis signal, held whole.
struct ArraySignal : SignalSource {
    std::vector<double> values;
    size_t next = 0;
    size_t read(double* out, size_t max) override {
        const size_t n = std::min(max, values.size() - next);
        std::copy_n(values.begin() + static_cast<long>(next), n, out);
        next += n;
        return n;
    }
};

TEST(FrameScanner, GivesTheRecordsAndLevelsOfTheOneThreadLoop) {
    // More frames than a chunk holds, the last ones reaching past the signal.
    const int64_t frameLength = 512, nfft = 4096, step = 11, loopCount = 1300;
    const Window window(WindowKind::Hamming, static_cast<int>(frameLength));
    ArraySignal plain;
    for (int16_t v : noiseAndTones(1.3, 11025, 1, 5)) plain.values.push_back(v);
    ASSERT_LT(static_cast<int64_t>(plain.values.size()), (loopCount - 1) * step + frameLength);

    // The frame loop as one thread runs it.
    std::vector<std::string> expected;
    LevelExtremes expectedExtremes;
    {
        FrameReader frames(plain, frameLength);
        std::vector<double> frame(static_cast<size_t>(frameLength)), re(nfft), im(nfft), scratch;
        SpectrumFft fft;
        for (int64_t k = 1; k <= loopCount; ++k) {
            std::string record = std::to_string(k * 10) + ": ";
            frames.frameAt((k - 1) * step, frame.data());
            window.apply(frame);
            ASSERT_TRUE(fft.transformFrame(frame.data(), frameLength, nfft, re.data(), im.data(),
                                           highestLevelBinNeeded(nfft) + 1));
            pickPeaksFromSpectrum(re.data(), im.data(), nfft, record, expectedExtremes, scratch);
            expected.push_back(record + "end\n");
        }
    }
    size_t withPeaks = 0;
    for (const auto& r : expected) withPeaks += r.size() > 10 ? 1 : 0;
    ASSERT_GT(withPeaks, expected.size() / 2);

    auto sameExtremes = [](const LevelExtremes& a, const LevelExtremes& b) {
        return std::bit_cast<uint64_t>(a.maxdB) == std::bit_cast<uint64_t>(b.maxdB) &&
               std::bit_cast<uint64_t>(a.mindB) == std::bit_cast<uint64_t>(b.mindB);
    };
    for (int threads : {1, 2, 3, 8}) {
        const ThreadPool pool(threads);
        FrameScanner scanner(window, frameLength, nfft, 10, pool);
        // The whole loop (fewer frames than a chunk).
        {
            ArraySignal source;
            source.values = plain.values;
            FrameReader frames(source, frameLength);
            LevelExtremes extremes;
            int64_t next = 1;
            EXPECT_TRUE(scanner.run(frames, loopCount, step, [&](int64_t k, const FrameResult& r) {
                EXPECT_EQ(k, next++);
                EXPECT_FALSE(r.failed);
                EXPECT_EQ(r.record, expected[static_cast<size_t>(k - 1)]) << threads << " " << k;
                for (double l : r.levels) extremes.add(l);
                return true;
            }));
            EXPECT_EQ(next, loopCount + 1);
            EXPECT_TRUE(sameExtremes(extremes, expectedExtremes)) << threads;
        }
        if (threads != 3) continue;
        // Chunks of other sizes, by hand.
        for (int64_t chunk : {int64_t{7}, int64_t{300}}) {
            ArraySignal source;
            source.values = plain.values;
            FrameReader frames(source, frameLength);
            LevelExtremes extremes;
            std::vector<double> samples;
            std::vector<FrameResult> results;
            for (int64_t first = 1; first <= loopCount; first += chunk) {
                const int64_t last = std::min(loopCount, first + chunk - 1);
                frames.copyFrames((first - 1) * step, (last - 1) * step, samples);
                scanner.scan(samples, (first - 1) * step, first, last, step, results);
                for (int64_t k = first; k <= last; ++k) {
                    const FrameResult& r = results[static_cast<size_t>(k - first)];
                    ASSERT_FALSE(r.failed);
                    ASSERT_EQ(r.record, expected[static_cast<size_t>(k - 1)])
                        << threads << " threads, chunk " << chunk << ", frame " << k;
                    for (double l : r.levels) extremes.add(l);
                }
            }
            EXPECT_TRUE(sameExtremes(extremes, expectedExtremes)) << threads << " " << chunk;
        }
        // A stop asked for by the taker.
        {
            ArraySignal source;
            source.values = plain.values;
            FrameReader frames(source, frameLength);
            int64_t taken = 0;
            EXPECT_FALSE(scanner.run(frames, loopCount, step, [&](int64_t k, const FrameResult&) {
                ++taken;
                return k < 100;
            }));
            EXPECT_EQ(taken, 100);
        }
    }
}

TEST(FramesPerChunk, AThousandFramesFewerForLongTransformsOrSteps) {
    EXPECT_EQ(framesPerChunk(4096, 110, 1), 1024);
    EXPECT_EQ(framesPerChunk(512, 11, 8), 1024);
    EXPECT_EQ(framesPerChunk(8192, 55, 2), 512);
    EXPECT_EQ(framesPerChunk(int64_t{1} << 20, 110, 2), 4);
    EXPECT_EQ(framesPerChunk(int64_t{1} << 20, 110, 16), 16);  // one frame per thread at least
    EXPECT_EQ(framesPerChunk(512, 11025, 1), 95);              // 1 s steps: 2^20 samples
}

// ---------------------------------------------------------------------------
// The program.

struct Recording {
    const char* name;
    int rate;
    int channels;
    int bits;
    double seconds;
    std::vector<std::string> args;  // after the file name
    int64_t loopCount;              // as the program reports it
};

void PrintTo(const Recording& r, std::ostream* os) {
    *os << r.name;
}

class SpecScanOnThreads : public ::testing::TestWithParam<Recording> {};

// Records "LABEL: FREQ LEVEL ... end" with at least one pair.
int64_t recordsWithPeaks(const std::string& list) {
    int64_t count = 0;
    for (size_t at = list.find(": "); at != std::string::npos; at = list.find(": ", at + 1)) {
        count += list.compare(at + 2, 3, "end") != 0 ? 1 : 0;
    }
    return count;
}

ProcessResult runSpecScan(const std::string& workDir, const std::string& wav,
                          const std::vector<std::string>& args, const char* threads) {
    ProcessOptions o;
    o.env["SONVOLA_WORKDIR"] = workDir;
    if (threads) {
        o.env["SONVOLA_THREADS"] = threads;
    } else {
        o.unsetEnv = {"SONVOLA_THREADS"};
    }
    std::vector<std::string> all = {"SpecScan", wav};
    all.insert(all.end(), args.begin(), args.end());
    return test::runProcess(test::binPath("SpecScan"), all, o);
}

TEST_P(SpecScanOnThreads, WritesTheSameBytesAsOneThread) {
    const Recording& rec = GetParam();
    TempDir dir;
    const std::string wav = dir.file("in.wav");
    writeFile(wav,
              test::makeWav(noiseAndTones(rec.seconds, rec.rate, rec.channels, 11),
                            {.sampleRate = rec.rate, .channels = rec.channels, .bits = rec.bits}));
    auto runIn = [&](const std::string& name, const char* threads) {
        TempDir work;
        ProcessResult r = runSpecScan(work.path(), wav, rec.args, threads);
        EXPECT_EQ(r.exitCode, 0) << name << "\n" << r.out << r.err;
        return std::pair{r, readFile(work.file("SpecScan.txt"))};
    };
    const auto [one, list] = runIn("1", "1");
    ASSERT_NE(one.out.find("\tLoop-count is " + std::to_string(rec.loopCount) + " [times].\n"),
              std::string::npos)
        << one.out;
    ASSERT_TRUE(list.ends_with("end_of_file"));
    if (rec.loopCount > 10) {
        // Peaks were found: most records hold some.
        EXPECT_GT(recordsWithPeaks(list), rec.loopCount / 2);
        EXPECT_EQ(list.find("MaxdB: -1000.00"), std::string::npos);
    }
    for (const char* threads : {"2", "3", "8"}) {
        const auto [r, other] = runIn(threads, threads);
        EXPECT_TRUE(other == list) << threads << " threads: SpecScan.txt differs";
        EXPECT_EQ(r.out, one.out) << threads;
        EXPECT_EQ(r.err, one.err) << threads;
    }
}

std::vector<std::string> argsOf(const char* shift, const char* third, const char* frame,
                                const char* nfft, const char* window) {
    return {shift, third, frame, "_点", nfft, "_点", window};
}

// Frames are analysed 1024 at a time with these transforms (512 with 8192
// points); the lengths fall short of a chunk, end on a chunk's end, and end
// in a chunk after whole ones.
INSTANTIATE_TEST_SUITE_P(
    Recordings, SpecScanOnThreads,
    ::testing::Values(Recording{"stereo_44100_2500_frames", 44100, 2, 16, 2.5,
                                argsOf("1", "_msec", "512", "4096", "ハミング窓"), 2500},
                      Recording{"mono_11025_1500_frames_no_estimation", 11025, 1, 16, 1.5001,
                                argsOf("1", "_ms", "512", "4096", "ハニング窓"), 1500},
                      Recording{"mono_44100_5_frames", 44100, 1, 16, 0.05,
                                argsOf("10", "_msec", "512", "4096", "ハミング窓"), 5},
                      Recording{"no_frames", 44100, 2, 16, 0.004,
                                argsOf("10", "_msec", "512", "4096", "なし"), 0},
                      Recording{"stereo_11025_two_chunks_exactly", 11025, 2, 16, 10.24,
                                argsOf("5", "_msec", "512", "4096", "ハミング窓"), 2048},
                      Recording{"mono_48000_8192_points_1300_frames", 48000, 1, 16, 1.3,
                                argsOf("1", "_msec", "1024", "8192", "ブラックマン窓"), 1300},
                      Recording{"mono_22050_8_bit_no_estimation", 22050, 1, 8, 2.0,
                                argsOf("2", "_ms", "256", "2048", "三角窓"), 1000},
                      Recording{"stereo_11025_1100_frames", 11025, 2, 16, 11.0001,
                                argsOf("10", "_msec", "300", "512", "方形窓"), 1100}));

TEST(SpecScanOnThreads, TheDefaultAndIgnoredValuesGiveTheSameBytes) {
    TempDir dir;
    const std::string wav = dir.file("in.wav");
    writeFile(
        wav, test::makeWav(noiseAndTones(2.0, 44100, 2, 12), {.sampleRate = 44100, .channels = 2}));
    const auto args = argsOf("5", "_msec", "512", "4096", "ハミング窓");
    TempDir one;
    ASSERT_EQ(runSpecScan(one.path(), wav, args, "1").exitCode, 0);
    const std::string list = readFile(one.file("SpecScan.txt"));
    // Unset, and values that are not a thread count: the default.
    for (const char* threads : {static_cast<const char*>(nullptr), "0", "lots"}) {
        TempDir other;
        ASSERT_EQ(runSpecScan(other.path(), wav, args, threads).exitCode, 0);
        EXPECT_TRUE(readFile(other.file("SpecScan.txt")) == list) << (threads ? threads : "unset");
    }
}

}  // namespace
}  // namespace sonvola
