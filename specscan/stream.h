// The signal path of SpecScan in blocks: samples are read from the file,
// reduced to one channel, filtered, resampled and cut into frames as they
// are needed, so memory stays small whatever the recording's length. Each
// step computes exactly what the whole-array steps compute.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/wav.h"

namespace sonvola {

// Smallest and largest sample, as the amplitude line reports them.
bool scanAmplitude(const std::string& path, int64_t dataBytes, int64_t offset, int bits, int& mini,
                   int& maxi);

// The analysis signal at 11025 Hz, pulled in pieces.
class SignalSource {
  public:
    virtual ~SignalSource() = default;
    virtual size_t read(double* out, size_t max) = 0;  // 0 at the end
};

// The first `n` samples of the one-channel stream (every second sample of a
// stereo file), converted to real numbers: a recording at 11025 Hz.
std::unique_ptr<SignalSource> directSignal(std::unique_ptr<WaveSampleStream> samples, bool stereo,
                                           int64_t n);

class ThreadPool;

// The same samples through the low-pass filter `h` (overlap-add in blocks)
// and the linear resampler from `inRate` to `outRate`. With a pool of more
// than one thread, a few blocks per thread are filtered side by side and
// added in block order, which gives the same numbers as one block at a time;
// the pool must outlive the signal.
std::unique_ptr<SignalSource> downSampledSignal(std::unique_ptr<WaveSampleStream> samples,
                                                bool stereo, int64_t n, std::vector<double> h,
                                                double inRate, double outRate,
                                                const ThreadPool* pool = nullptr);

// The frames of the signal: frame k (from 1) starts at (k - 1) * step; past
// the end of the signal every sample is 0.
class FrameReader {
  public:
    FrameReader(SignalSource& source, int64_t frameLength)
        : source_(source), frameLength_(frameLength) {}
    // Copies the frame starting at sample `start` (never before the last one).
    void frameAt(int64_t start, double* out);
    // Reads the signal up to the end of the frame starting at `lastStart`,
    // keeping what the frames from `firstStart` on need (never before an
    // earlier call's first frame), and copies those samples to `out`: the
    // signal from `firstStart` to the end of that frame, or to its own end
    // when it ends first.
    void copyFrames(int64_t firstStart, int64_t lastStart, std::vector<double>& out);

  private:
    void prepare(int64_t firstStart, int64_t lastStart);

    SignalSource& source_;
    int64_t frameLength_;
    std::vector<double> buffer_;
    int64_t base_ = 0;  // signal index of buffer_[0]
    bool ended_ = false;
};

}  // namespace sonvola
