#include "specscan/framescan.h"

#include <algorithm>

#include "common/peakfile.h"
#include "specscan/peaks.h"

namespace sonvola {

namespace {

constexpr int64_t kMaxChunkFrames = 1024;
constexpr int64_t kChunkSamples = int64_t{1} << 20;  // signal values held per chunk
constexpr int64_t kChunkBins = int64_t{1} << 22;     // transform points per chunk
constexpr int64_t kFramesPerTask = 16;               // frames a thread takes at a time

}  // namespace

int64_t framesPerChunk(int64_t fftLength, int64_t step, int threads) {
    int64_t frames = kMaxChunkFrames;
    if (fftLength > 0) frames = std::min(frames, kChunkBins / fftLength);
    if (step > 0) frames = std::min(frames, kChunkSamples / step);
    return std::max<int64_t>({frames, threads, 1});
}

FrameScanner::FrameScanner(const Window& window, int64_t frameLength, int64_t fftLength,
                           int32_t frameShift, const ThreadPool& pool)
    : window_(window),
      frameLength_(frameLength),
      fftLength_(fftLength),
      binsRead_(highestLevelBinNeeded(fftLength) + 1),  // the peak test reads no further
      frameShift_(frameShift),
      pool_(pool),
      workers_(static_cast<size_t>(pool.threads())) {}

void FrameScanner::analyse(Worker& w, const std::vector<double>& samples, int64_t base, int64_t k,
                           int64_t step, FrameResult& r) {
    r.record.clear();
    r.levels.clear();
    r.failed = false;
    r.failure.clear();
    if (w.re.empty()) {
        w.frame.resize(static_cast<size_t>(frameLength_));
        w.re.resize(static_cast<size_t>(fftLength_));
        w.im.resize(static_cast<size_t>(fftLength_));
    }
    beginRecord(r.record, k * frameShift_);
    const int64_t start = (k - 1) * step - base;
    const int64_t size = static_cast<int64_t>(samples.size());
    for (int64_t i = 0; i < frameLength_; ++i) {
        const int64_t at = start + i;
        w.frame[static_cast<size_t>(i)] =
            at >= 0 && at < size ? samples[static_cast<size_t>(at)] : 0.0;
    }
    window_.apply(w.frame);
    const Status transformed = w.fft.transformFrame(w.frame.data(), frameLength_, fftLength_,
                                                    w.re.data(), w.im.data(), binsRead_);
    if (!transformed) {
        r.failed = true;
        r.failure = transformed.message();
        return;
    }
    pickPeaksFromSpectrum(w.re.data(), w.im.data(), fftLength_, r.record, r.levels, w.scratch);
    endRecord(r.record);
}

void FrameScanner::scan(const std::vector<double>& samples, int64_t base, int64_t first,
                        int64_t last, int64_t step, std::vector<FrameResult>& results) {
    const int64_t count = std::max<int64_t>(last - first + 1, 0);
    if (static_cast<int64_t>(results.size()) < count) results.resize(static_cast<size_t>(count));
    pool_.forEach(count, kFramesPerTask, [&](int slot, int64_t begin, int64_t end) {
        Worker& w = workers_[static_cast<size_t>(slot)];
        for (int64_t i = begin; i < end; ++i) {
            analyse(w, samples, base, first + i, step, results[static_cast<size_t>(i)]);
        }
    });
}

bool FrameScanner::run(FrameReader& frames, int64_t loopCount, int64_t step,
                       const std::function<bool(int64_t k, const FrameResult& result)>& take) {
    const int64_t chunk = framesPerChunk(fftLength_, step, pool_.threads());
    const int64_t chunks = loopCount > 0 ? (loopCount + chunk - 1) / chunk : 0;
    struct Chunk {
        int64_t first = 1, last = 0;
        std::vector<double> samples;
        std::vector<FrameResult> results;
    };
    Chunk held[2];
    auto load = [&](int64_t c) {
        Chunk& h = held[c % 2];
        h.first = c * chunk + 1;
        h.last = std::min(loopCount, h.first + chunk - 1);
        frames.copyFrames((h.first - 1) * step, (h.last - 1) * step, h.samples);
    };
    auto hand = [&](const Chunk& h) {
        for (int64_t k = h.first; k <= h.last; ++k) {
            if (!take(k, h.results[static_cast<size_t>(k - h.first)])) return false;
        }
        return true;
    };
    if (chunks == 0) return true;
    // While the pool analyses chunk c, this thread hands over the results of
    // chunk c - 1 and reads the samples of chunk c + 1 (the filter's blocks
    // for them go to the pool as well).
    load(0);
    bool going = true;
    for (int64_t c = 0; c < chunks && going; ++c) {
        Chunk& now = held[c % 2];
        Chunk& other = held[(c + 1) % 2];
        pool_.alongside(
            [&] {
                scan(now.samples, (now.first - 1) * step, now.first, now.last, step, now.results);
            },
            [&] {
                if (c > 0) going = hand(other);
                if (going && c + 1 < chunks) load(c + 1);
            });
    }
    return going && hand(held[(chunks - 1) % 2]);
}

}  // namespace sonvola
