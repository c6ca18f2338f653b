// Google Benchmark figures for the hot functions of the stages.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "common/peakfile.h"
#include "specscan/blockfilter.h"
#include "specscan/peaks.h"
#include "specscan/reference/downsample.h"
#include "specscan/reference/spectrum.h"
#include "specscan/spectrum.h"
#include "trackjoin/linking.h"

namespace {

using namespace sonvola;

std::vector<double> noise(size_t n, unsigned seed) {
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> d(-1000, 1000);
    std::vector<double> v(n);
    for (auto& x : v) x = d(g);
    return v;
}

void BM_convolutionFft(benchmark::State& state) {
    const int64_t m = state.range(0);
    auto re = noise(static_cast<size_t>(m), 1), im = noise(static_cast<size_t>(m), 2);
    for (auto _ : state) {
        benchmark::DoNotOptimize(convolutionFft(re.data(), im.data(), m, false));
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(BM_convolutionFft)->Arg(32768);

void BM_spectrumFft(benchmark::State& state) {
    const int64_t n = state.range(0);
    auto frame = noise(512, 3);
    std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
    for (auto _ : state) {
        std::fill(re.begin(), re.end(), 0.0);
        std::fill(im.begin(), im.end(), 0.0);
        std::copy(frame.begin(), frame.end(), re.begin());
        benchmark::DoNotOptimize(spectrumFft(n, re.data(), im.data()));
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(BM_spectrumFft)->Arg(4096);

// The frame transform as SpecScan runs it: 512 windowed samples in 4096.
void BM_transformFrame(benchmark::State& state) {
    const int64_t n = state.range(0);
    auto frame = noise(512, 3);
    std::vector<double> re(static_cast<size_t>(n)), im(static_cast<size_t>(n));
    SpectrumFft fft;
    for (auto _ : state) {
        benchmark::DoNotOptimize(fft.transformFrame(frame.data(), 512, n, re.data(), im.data(),
                                                    highestLevelBinNeeded(n) + 1));
        benchmark::DoNotOptimize(re.data());
    }
}
BENCHMARK(BM_transformFrame)->Arg(4096);

// One block of the down-sampling filter (14621 taps, transforms of 32768).
void BM_blockFilter(benchmark::State& state) {
    std::vector<double> h(14621);
    for (size_t i = 0; i < h.size(); ++i) h[i] = std::sin(0.001 * static_cast<double>(i)) * 1e-4;
    const int64_t m = 32768, count = m - static_cast<int64_t>(h.size()) + 1;
    std::vector<int16_t> in(static_cast<size_t>(count));
    for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<int16_t>((i * 7919) % 20000);
    std::vector<double> out(static_cast<size_t>(m));
    BlockFilter filter(h, m);
    for (auto _ : state) {
        filter.filter(in.data(), count, out.data());
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_blockFilter);

void BM_downSampleOneSecond(benchmark::State& state) {
    std::vector<int16_t> x(44100);
    for (size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<int16_t>(8000 * std::sin(0.0627 * static_cast<double>(i)));
    for (auto _ : state) {
        std::vector<double> out;
        std::string console;
        downSample(x, 44100.0, 11025.0, out, console);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_downSampleOneSecond)->Unit(benchmark::kMillisecond);

// The signal path of SpecScan on a 3-minute 44.1 kHz recording (its left
// channel): down-sampling, then window, transform and peaks of every frame.
void BM_downSampleAndSpectra3Minutes(benchmark::State& state) {
    const size_t n = 180 * 44100;
    std::vector<int16_t> x(n);
    for (size_t i = 0; i < n; ++i) {
        const double t = static_cast<double>(i) / 44100.0;
        x[i] = static_cast<int16_t>(6000 * std::sin(2 * M_PI * 261.63 * t) +
                                    3000 * std::sin(2 * M_PI * 659.26 * t) +
                                    1000 * std::sin(2 * M_PI * 1567.98 * t));
    }
    const int64_t nfft = 4096, frameLength = 512, step = 110;
    const Window window(WindowKind::Hamming, frameLength);
    std::vector<double> re(nfft), im(nfft), frame(frameLength), scratch;
    SpectrumFft fft;
    std::string record;
    for (auto _ : state) {
        std::vector<double> sig;
        std::string console;
        downSample(x, 44100.0, 11025.0, sig, console);
        LevelExtremes ex;
        for (int64_t k = 0; k < 18000; ++k) {
            const int64_t start = k * step;
            for (int64_t i = 0; i < frameLength; ++i) {
                frame[static_cast<size_t>(i)] = start + i < static_cast<int64_t>(sig.size())
                                                    ? sig[static_cast<size_t>(start + i)]
                                                    : 0.0;
            }
            window.apply(frame);
            (void)fft.transformFrame(frame.data(), frameLength, nfft, re.data(), im.data());
            record.clear();
            pickPeaksFromSpectrum(re.data(), im.data(), nfft, record, ex, scratch);
        }
        benchmark::DoNotOptimize(record.data());
    }
}
BENCHMARK(BM_downSampleAndSpectra3Minutes)->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_pickPeaks(benchmark::State& state) {
    const int64_t n = 4096;
    auto frame = noise(512, 4);
    std::vector<double> re(n, 0.0), im(n, 0.0), level(n);
    std::copy(frame.begin(), frame.end(), re.begin());
    (void)spectrumFft(n, re.data(), im.data());
    levelsDb(re.data(), im.data(), level.data(), highestLevelBinNeeded(n) + 1);
    std::string rec;
    for (auto _ : state) {
        rec.clear();
        LevelExtremes ex;
        pickPeaks(re.data(), im.data(), level.data(), n, rec, ex);
        benchmark::DoNotOptimize(rec.data());
    }
}
BENCHMARK(BM_pickPeaks);

// The picking SpecScan runs: from the spectrum, levels only where needed.
void BM_pickPeaksFromSpectrum(benchmark::State& state) {
    const int64_t n = 4096;
    auto frame = noise(512, 4);
    std::vector<double> re(n, 0.0), im(n, 0.0), scratch;
    std::copy(frame.begin(), frame.end(), re.begin());
    (void)spectrumFft(n, re.data(), im.data());
    std::string rec;
    for (auto _ : state) {
        rec.clear();
        LevelExtremes ex;
        pickPeaksFromSpectrum(re.data(), im.data(), n, rec, ex, scratch);
        benchmark::DoNotOptimize(rec.data());
    }
}
BENCHMARK(BM_pickPeaksFromSpectrum);

// A peak table like 3 minutes of music: 18000 frames of 40 peaks.
PeakTable musicTable() {
    std::mt19937 g(5);
    std::uniform_real_distribution<float> jitter(-0.5f, 0.5f);
    PeakTable t;
    for (int r = 0; r < 18000; ++r) {
        PeakRecord rec;
        rec.label = (r + 1) * 10;
        for (int p = 0; p < 40; ++p) {
            rec.freqs.push_back(100.0f * static_cast<float>(p + 1) + jitter(g) +
                                static_cast<float>((r / 50) % 7));
            rec.levels.push_back(20.0f + jitter(g));
        }
        t.records.push_back(std::move(rec));
    }
    return t;
}

void BM_linkPeaks(benchmark::State& state) {
    const PeakTable base = musicTable();
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        state.PauseTiming();
        PeakTable t = base;
        state.ResumeTiming();
        linkPeaks(t, 10, 18000, sink, sink);
    }
    std::fclose(sink);
}
BENCHMARK(BM_linkPeaks)->Unit(benchmark::kMillisecond);

void BM_amendLumps(benchmark::State& state) {
    std::mt19937 g(6);
    std::uniform_int_distribution<int> step(0, 3), len(1, 40);
    std::uniform_real_distribution<float> jitter(-5.0f, 5.0f);
    PeakTable base;
    int label = 0;
    for (int i = 0; i < 40000; ++i) {
        label += 10 * step(g);
        PeakRecord r;
        r.label = label;
        for (int e = len(g); e > 0; --e) {
            r.freqs.push_back(440.0f + jitter(g));
            r.levels.push_back(-20.0f + jitter(g));
        }
        base.records.push_back(std::move(r));
    }
    std::FILE* sink = std::fopen("/dev/null", "w");
    for (auto _ : state) {
        state.PauseTiming();
        PeakTable t = base;
        state.ResumeTiming();
        amendLumps(t, 10, 15, sink);
    }
    std::fclose(sink);
}
BENCHMARK(BM_amendLumps)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
