#include "specscan/stream.h"

#include <algorithm>
#include <bit>

#include "specscan/prepare.h"

namespace sonvola {

namespace {
constexpr size_t kChunk = 1 << 16;
}

WaveSampleStream::~WaveSampleStream() {
    if (file_) std::fclose(file_);
}

bool WaveSampleStream::open(const std::string& path, int64_t dataBytes, int64_t offset, int bits) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) return false;
    bits_ = bits;
    if (dataBytes < 0) dataBytes = 0;
    total_ = bits == 8 ? dataBytes : bits == 16 ? dataBytes * 8 / 16 : 0;
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) fileEnded_ = true;
    return true;
}

size_t WaveSampleStream::read(int16_t* out, size_t max) {
    const size_t n =
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(max), total_ - done_));
    if (n == 0) return 0;
    if (bits_ == 8) {
        bytes_.resize(n);
        size_t got = 0;
        if (!fileEnded_) {
            got = std::fread(bytes_.data(), 1, n, file_);
            if (got < n) fileEnded_ = true;
        }
        for (size_t i = 0; i < got; ++i) out[i] = static_cast<int16_t>(bytes_[i] * 257 - 32768);
        std::fill(out + got, out + n, int16_t{0});
    } else {
        // Little-endian 16-bit samples: on a little-endian machine the bytes
        // are the samples themselves. A sample the file holds only partly
        // reads as 0, like the missing ones.
        size_t whole = 0;
        if (!fileEnded_) {
            size_t got = 0;
            if constexpr (std::endian::native == std::endian::little) {
                got = std::fread(out, 1, 2 * n, file_);
            } else {
                bytes_.resize(2 * n);
                got = std::fread(bytes_.data(), 1, 2 * n, file_);
                for (size_t i = 0; 2 * i + 1 < got; ++i) {
                    out[i] = static_cast<int16_t>(
                        static_cast<uint16_t>(bytes_[2 * i] | (bytes_[2 * i + 1] << 8)));
                }
            }
            if (got < 2 * n) fileEnded_ = true;
            whole = got / 2;
        }
        std::fill(out + whole, out + n, int16_t{0});
    }
    done_ += static_cast<int64_t>(n);
    return n;
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

int64_t nextPowerOfTwo(int64_t v) {
    int64_t m = 2;
    while (m < v) m <<= 1;
    return m;
}

class DownSampledSignal : public SignalSource {
  public:
    DownSampledSignal(std::unique_ptr<WaveSampleStream> s, bool stereo, int64_t n,
                      std::vector<double> h, double inRate, double outRate)
        : mono_(std::move(s), stereo, n), n_(n), len_(static_cast<int64_t>(h.size())) {
        m_ = n < len_ ? nextPowerOfTwo(len_ + n - 1) : nextPowerOfTwo(2 * len_);
        block_ = m_ - len_ + 1;
        blocks_ = std::max<int64_t>(1, (n + block_ - 1) / block_);
        fullLen_ = len_ + n - 1;
        delay_ = len_ / 2;
        filter_ = std::make_unique<BlockFilter>(h, m_);
        out_.resize(static_cast<size_t>(m_));
        in_.resize(static_cast<size_t>(block_));
        c_ = inRate / outRate;
        outTotal_ = static_cast<int64_t>(static_cast<double>(n) / c_);
    }

    size_t read(double* out, size_t max) override {
        size_t produced = 0;
        while (produced < max && outDone_ < outTotal_) {
            const int64_t i0 = static_cast<int64_t>(t_);
            const double f = t_ - static_cast<double>(i0);
            const int64_t need = f == 0.0 ? i0 : std::min(i0 + 1, n_ - 1);
            while (yEnd() <= need && nextBlock_ < blocks_) convolveBlock();
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

    // One block of the overlap-add, exactly as the whole-array version adds
    // it; the filtered samples that no later block changes move to y_.
    void convolveBlock() {
        const int64_t s = nextBlock_ * block_;
        const size_t got = mono_.read(in_.data(), static_cast<size_t>(block_));
        filter_->filter(in_.data(), static_cast<int64_t>(got), out_.data());
        // acc_ holds full-output indices from accBase_ on.
        const int64_t needed = s + m_ - accBase_;
        if (static_cast<int64_t>(acc_.size()) < needed)
            acc_.resize(static_cast<size_t>(needed), 0.0);
        {
            const int64_t count = std::min(m_, fullLen_ - s);
            double* __restrict acc = acc_.data() + (s - accBase_);
            const double* __restrict add = out_.data();
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
    int64_t n_, len_, m_ = 0, block_ = 0, blocks_ = 0, fullLen_ = 0, delay_ = 0;
    std::unique_ptr<BlockFilter> filter_;
    std::vector<double> out_, acc_, y_;
    std::vector<int16_t> in_;
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
                                                double inRate, double outRate) {
    return std::make_unique<DownSampledSignal>(std::move(samples), stereo, n, std::move(h), inRate,
                                               outRate);
}

void FrameReader::frameAt(int64_t start, double* out) {
    // Keep only what this and later frames can need.
    if (start > base_ && start - base_ > (1 << 16)) {
        const int64_t drop = std::min<int64_t>(start - base_, static_cast<int64_t>(buffer_.size()));
        buffer_.erase(buffer_.begin(), buffer_.begin() + drop);
        base_ += drop;
    }
    const int64_t end = start + frameLength_;
    while (!ended_ && base_ + static_cast<int64_t>(buffer_.size()) < end) {
        const size_t old = buffer_.size();
        buffer_.resize(old + (1 << 14));
        const size_t got = source_.read(buffer_.data() + old, 1 << 14);
        buffer_.resize(old + got);
        if (got == 0) ended_ = true;
    }
    for (int64_t i = 0; i < frameLength_; ++i) {
        const int64_t at = start + i - base_;
        out[i] = at >= 0 && at < static_cast<int64_t>(buffer_.size())
                     ? buffer_[static_cast<size_t>(at)]
                     : 0.0;
    }
}

}  // namespace sonvola
