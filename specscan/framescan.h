// The frame loop's work on a pool of threads: the frames of a chunk are
// windowed, transformed and searched for peaks side by side, each into a
// record of its own, while the records of the chunk before are handed over
// in frame order and the samples of the next chunk are read. Every frame is
// computed exactly as on one thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "specscan/parallel.h"
#include "specscan/spectrum.h"
#include "specscan/stream.h"

namespace sonvola {

// What one frame gives.
struct FrameResult {
    std::string record;          // "LABEL: FREQ LEVEL ... end\n"
    std::vector<double> levels;  // its peaks' levels, in the order LevelExtremes takes them
    bool failed = false;         // the transform could not be made (no memory for its tables)
    std::string failure;         // then the message, as the program prints it
};

// Frames analysed at once: 1024, fewer where transforms of more than 4096
// points or a long frame step would make a chunk's records or samples (8 MB
// at most) large, and at least one per thread.
int64_t framesPerChunk(int64_t fftLength, int64_t step, int threads);

class FrameScanner {
  public:
    // `window` and `pool` must outlive the scanner.
    FrameScanner(const Window& window, int64_t frameLength, int64_t fftLength, int32_t frameShift,
                 const ThreadPool& pool);

    // Analyses frames 1 .. loopCount of `frames` (frame k starts at sample
    // (k - 1) * step and is labelled k * frameShift) and calls take(k, its
    // result) for each in frame order, on the calling thread. Two chunks are
    // held at a time. Stops at a frame for which take returns false, and
    // returns false then.
    bool run(FrameReader& frames, int64_t loopCount, int64_t step,
             const std::function<bool(int64_t k, const FrameResult& result)>& take);

    // Analyses frames first .. last into results[0 .. last - first] from
    // `samples`, the signal from sample `base` on (0 past its end).
    void scan(const std::vector<double>& samples, int64_t base, int64_t first, int64_t last,
              int64_t step, std::vector<FrameResult>& results);

  private:
    // The work space of one thread.
    struct Worker {
        SpectrumFft fft;
        std::vector<double> frame, re, im, scratch;
    };
    void analyse(Worker& w, const std::vector<double>& samples, int64_t base, int64_t k,
                 int64_t step, FrameResult& r);

    const Window& window_;
    int64_t frameLength_, fftLength_, binsRead_;
    int32_t frameShift_;
    const ThreadPool& pool_;
    std::vector<Worker> workers_;  // one per slot of the pool
};

}  // namespace sonvola
