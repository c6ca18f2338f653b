#include "specscan/stream.h"

#include <algorithm>
#include <bit>

#include "specscan/blockfilter.h"
#include "specscan/parallel.h"

namespace sonvola {

namespace {
constexpr size_t kChunk = 1 << 16;
}

bool scanAmplitude(const std::string& path, int64_t dataBytes, int64_t offset, int bits, int& mini,
                   int& maxi) {
    WaveSampleStream s;
    if (!s.open(path, dataBytes, offset, bits)) return false;
    mini = 32767;
    maxi = -32768;
    std::vector<int16_t> buf(kChunk);
    size_t n;
    while ((n = s.read(buf.data(), buf.size())) > 0) {
        for (size_t i = 0; i < n; ++i) {
            mini = std::min<int>(mini, buf[i]);
            maxi = std::max<int>(maxi, buf[i]);
        }
    }
    return true;
}

namespace {

// The one-channel samples, at most n of them, in pieces.
class MonoReader {
  public:
    MonoReader(std::unique_ptr<WaveSampleStream> s, bool stereo, int64_t n)
        : s_(std::move(s)), stereo_(stereo), left_(n) {}
    size_t read(int16_t* out, size_t max) {
        max = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(max), left_));
        size_t produced = 0;
        while (produced < max) {
            const size_t want = stereo_ ? 2 * (max - produced) : max - produced;
            raw_.resize(want);
            const size_t got = s_->read(raw_.data(), want);
            if (got == 0) break;
            if (stereo_) {
                // Samples 0, 2, 4, ... of the interleaved stream; a piece of
                // even length keeps the pairing.
                for (size_t i = 0; i < got; i += 2) out[produced++] = raw_[i];
            } else {
                std::copy(raw_.begin(), raw_.begin() + static_cast<long>(got), out + produced);
                produced += got;
            }
        }
        left_ -= static_cast<int64_t>(produced);
        return produced;
    }

  private:
    std::unique_ptr<WaveSampleStream> s_;
    bool stereo_;
    int64_t left_;
    std::vector<int16_t> raw_;
};

class DirectSignal : public SignalSource {
  public:
    DirectSignal(std::unique_ptr<WaveSampleStream> s, bool stereo, int64_t n)
        : mono_(std::move(s), stereo, n) {}
    size_t read(double* out, size_t max) override {
        buf_.resize(max);
        const size_t n = mono_.read(buf_.data(), max);
        for (size_t i = 0; i < n; ++i) out[i] = buf_[i];
        return n;
    }

  private:
    MonoReader mono_;
    std::vector<int16_t> buf_;
};

// Blocks of the filter in flight per thread: enough to keep the threads
// busy between the additions, which run on one thread; and at most (each
// holds a block of samples and its m filtered values).
constexpr int64_t kBlocksPerThread = 2;
constexpr int64_t kMaxBlocksInFlight = 64;

class DownSampledSignal : public SignalSource {
  public:
    DownSampledSignal(std::unique_ptr<WaveSampleStream> s, bool stereo, int64_t n,
                      std::vector<double> h, double inRate, double outRate, const ThreadPool* pool)
        : mono_(std::move(s), stereo, n), pool_(pool), n_(n) {
        const OverlapAddPlan plan = planOverlapAdd(static_cast<int64_t>(h.size()), n);
        m_ = plan.m;
        block_ = plan.block;
        blocks_ = plan.blocks;
        fullLen_ = plan.fullLength;
        delay_ = plan.delay;
        // No more blocks in flight than there are blocks, and a filter (work
        // arrays of its own, the tables shared) for each thread that filters,
        // made by that thread.
        const int threads = pool_ ? pool_->threads() : 1;
        window_ =
            threads == 1 ? 1 : std::min({blocks_, kBlocksPerThread * threads, kMaxBlocksInFlight});
        filters_.resize(static_cast<size_t>(threads));
        filters_[0] = std::make_unique<BlockFilter>(h, m_);
        in_.resize(static_cast<size_t>(window_));
        out_.resize(static_cast<size_t>(window_));
        got_.resize(static_cast<size_t>(window_));
        for (int64_t b = 0; b < window_; ++b) {
            in_[static_cast<size_t>(b)].resize(static_cast<size_t>(block_));
            out_[static_cast<size_t>(b)].resize(static_cast<size_t>(m_));
        }
        c_ = inRate / outRate;
        outTotal_ = static_cast<int64_t>(static_cast<double>(n) / c_);
    }

    size_t read(double* out, size_t max) override {
        size_t produced = 0;
        while (produced < max && outDone_ < outTotal_) {
            const int64_t i0 = static_cast<int64_t>(t_);
            const double f = t_ - static_cast<double>(i0);
            const int64_t need = f == 0.0 ? i0 : std::min(i0 + 1, n_ - 1);
            while (yEnd() <= need && nextBlock_ < blocks_) convolveBlocks();
            const double a = i0 < yEnd() ? y(i0) : 0.0;
            if (f == 0.0) {
                out[produced] = a;
            } else {
                const double b = i0 + 1 < n_ && i0 + 1 < yEnd() ? y(i0 + 1) : 0.0;
                out[produced] = (1.0 - f) * a + f * b;
            }
            ++produced;
            ++outDone_;
            t_ = t_ + c_;
            // Filtered samples before the next position are no longer needed.
            dropBefore(static_cast<int64_t>(t_));
        }
        return produced;
    }

  private:
    int64_t yEnd() const { return yBase_ + static_cast<int64_t>(y_.size()); }
    double y(int64_t j) const { return y_[static_cast<size_t>(j - yBase_)]; }
    void dropBefore(int64_t j) {
        const int64_t drop = std::min<int64_t>(j - yBase_, static_cast<int64_t>(y_.size()));
        if (drop > 1 << 16) {
            y_.erase(y_.begin(), y_.begin() + drop);
            yBase_ += drop;
        }
    }

    // The next blocks of the overlap-add (up to window_ of them): their
    // samples read in order, filtered side by side, and added one after the
    // other in block order.
    void convolveBlocks() {
        const int64_t count = std::min(window_, blocks_ - nextBlock_);
        for (int64_t b = 0; b < count; ++b) {
            got_[static_cast<size_t>(b)] = static_cast<int64_t>(
                mono_.read(in_[static_cast<size_t>(b)].data(), static_cast<size_t>(block_)));
        }
        auto filterBlocks = [&](int slot, int64_t begin, int64_t end) {
            std::unique_ptr<BlockFilter>& filter = filters_[static_cast<size_t>(slot)];
            if (!filter) filter = std::make_unique<BlockFilter>(*filters_[0]);
            for (int64_t b = begin; b < end; ++b) {
                const size_t i = static_cast<size_t>(b);
                filter->filter(in_[i].data(), got_[i], out_[i].data());
            }
        };
        if (pool_) {
            pool_->forEach(count, 1, filterBlocks);
        } else {
            filterBlocks(0, 0, count);
        }
        for (int64_t b = 0; b < count; ++b) addBlock(out_[static_cast<size_t>(b)]);
    }

    // One filtered block added, exactly as the whole-array version adds it;
    // the filtered samples that no later block changes move to y_.
    void addBlock(const std::vector<double>& filtered) {
        const int64_t s = nextBlock_ * block_;
        // acc_ holds full-output indices from accBase_ on.
        const int64_t needed = s + m_ - accBase_;
        if (static_cast<int64_t>(acc_.size()) < needed)
            acc_.resize(static_cast<size_t>(needed), 0.0);
        {
            const int64_t count = std::min(m_, fullLen_ - s);
            double* __restrict acc = acc_.data() + (s - accBase_);
            const double* __restrict add = filtered.data();
            for (int64_t k = 0; k < count; ++k) acc[k] += add[k];
        }
        ++nextBlock_;
        // Full indices below the next block's start are final (all of them after the last block);
        // those that are output samples (full index j + delay for j < n) move to y_.
        const int64_t finalEnd = nextBlock_ < blocks_ ? nextBlock_ * block_ : fullLen_;
        const int64_t from = std::max(accBase_, delay_);
        const int64_t to = std::min(finalEnd, n_ + delay_);
        if (from < to) {
            y_.insert(y_.end(), acc_.begin() + (from - accBase_), acc_.begin() + (to - accBase_));
        }
        acc_.erase(acc_.begin(), acc_.begin() + (finalEnd - accBase_));
        accBase_ = finalEnd;
    }

    MonoReader mono_;
    const ThreadPool* pool_;
    int64_t n_, m_ = 0, block_ = 0, blocks_ = 0, fullLen_ = 0, delay_ = 0;
    int64_t window_ = 1;                                 // blocks filtered at once
    std::vector<std::unique_ptr<BlockFilter>> filters_;  // one per slot of the pool
    std::vector<std::vector<int16_t>> in_;               // per block in flight: its samples,
    std::vector<int64_t> got_;                           // how many there are,
    std::vector<std::vector<double>> out_;               // and the block filtered
    std::vector<double> acc_, y_;
    int64_t accBase_ = 0, nextBlock_ = 0, yBase_ = 0;
    double c_ = 1.0, t_ = 0.0;
    int64_t outTotal_ = 0, outDone_ = 0;
};

}  // namespace

std::unique_ptr<SignalSource> directSignal(std::unique_ptr<WaveSampleStream> samples, bool stereo,
                                           int64_t n) {
    return std::make_unique<DirectSignal>(std::move(samples), stereo, n);
}

std::unique_ptr<SignalSource> downSampledSignal(std::unique_ptr<WaveSampleStream> samples,
                                                bool stereo, int64_t n, std::vector<double> h,
                                                double inRate, double outRate,
                                                const ThreadPool* pool) {
    return std::make_unique<DownSampledSignal>(std::move(samples), stereo, n, std::move(h), inRate,
                                               outRate, pool);
}

void FrameReader::frameAt(int64_t start, double* out) {
    prepare(start, start);
    for (int64_t i = 0; i < frameLength_; ++i) {
        const int64_t at = start + i - base_;
        out[i] = at >= 0 && at < static_cast<int64_t>(buffer_.size())
                     ? buffer_[static_cast<size_t>(at)]
                     : 0.0;
    }
}

void FrameReader::copyFrames(int64_t firstStart, int64_t lastStart, std::vector<double>& out) {
    prepare(firstStart, lastStart);
    const int64_t size = static_cast<int64_t>(buffer_.size());
    const int64_t from = std::clamp<int64_t>(firstStart - base_, 0, size);
    const int64_t to = std::clamp<int64_t>(lastStart + frameLength_ - base_, from, size);
    out.assign(buffer_.begin() + from, buffer_.begin() + to);
}

void FrameReader::prepare(int64_t firstStart, int64_t lastStart) {
    // Keep only what these and later frames can need.
    if (firstStart > base_ && firstStart - base_ > (1 << 16)) {
        const int64_t drop =
            std::min<int64_t>(firstStart - base_, static_cast<int64_t>(buffer_.size()));
        buffer_.erase(buffer_.begin(), buffer_.begin() + drop);
        base_ += drop;
    }
    const int64_t end = lastStart + frameLength_;
    while (!ended_ && base_ + static_cast<int64_t>(buffer_.size()) < end) {
        const size_t old = buffer_.size();
        buffer_.resize(old + (1 << 14));
        const size_t got = source_.read(buffer_.data() + old, 1 << 14);
        buffer_.resize(old + got);
        if (got == 0) ended_ = true;
    }
}

}  // namespace sonvola
