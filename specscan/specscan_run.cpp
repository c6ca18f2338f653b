#include "specscan/specscan_run.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/fileptr.h"
#include "common/numbers.h"
#include "common/outputfile.h"
#include "common/peakfile.h"
#include "common/threads.h"
#include "common/wav.h"
#include "specscan/framescan.h"
#include "specscan/kaiser.h"
#include "specscan/parallel.h"
#include "specscan/peaks.h"
#include "specscan/rates.h"
#include "specscan/shortterm.h"
#include "specscan/spectrum.h"
#include "specscan/stepmessages.h"
#include "specscan/stream.h"

namespace sonvola {

namespace {

constexpr const char* kUsage =
    "usage: SpecScan RECORDING.wav SHIFT_MS _msec FRAME_LENGTH _点 FFT_LENGTH _点 WINDOW\n"
    "  e.g. SpecScan song.wav 10 _msec 512 _点 4096 _点 ハミング窓\n"
    "  (argument 3 other than \"_msec\" skips the short-term estimation)\n";

// Largest transform length accepted: the tables and work arrays stay small.
constexpr int64_t kMaxFftLength = int64_t{1} << 20;

int64_t fileSize(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_size);
}

}  // namespace

Result<SpecScanParameters> parseSpecScanArguments(int argc, char** argv) {
    if (argc < 9) return Status::error(kUsage);
    SpecScanParameters p;
    p.wavPath = argv[1];
    p.shiftMs = parseLenientDouble(argv[2]);
    p.shiftInt = parseLenientInt(argv[2]);
    p.shortTerm = std::strcmp(argv[3], "_msec") == 0;
    p.frameLength = parseLenientInt(argv[4]);
    p.fftLength = parseLenientInt(argv[6]);
    if (!(p.shiftMs >= 1.0) || !std::isfinite(p.shiftMs)) {
        return Status::error(
            format("err: the frame shift (argument 2, \"%s\") must be a number of milliseconds of "
                   "at least 1\n",
                   argv[2]));
    }
    if (p.frameLength < 2) {
        return Status::error(format(
            "err: the frame length (argument 4, \"%s\") must be at least 2 samples\n", argv[4]));
    }
    const int64_t nfft = p.fftLength;
    if (nfft < 4 || !std::has_single_bit(static_cast<uint64_t>(nfft)) || nfft > kMaxFftLength) {
        return Status::error(format(
            "err: the transform length (argument 6, \"%s\") must be a power of two from 4 to "
            "%lld\n",
            argv[6], static_cast<long long>(kMaxFftLength)));
    }
    if (p.frameLength > p.fftLength) {
        return Status::error(
            format("err: the frame length (%d) must not exceed the transform length (%d)\n",
                   p.frameLength, p.fftLength));
    }
    auto window = parseWindowName(argv[8]);
    // An unknown window is reported before any file is written, so that no
    // half-written peak list is left behind.
    if (!window) {
        return Status::error(windowListMessage());
    }
    p.window = *window;
    return p;
}

namespace {

SpecScanParameters parametersOrExit(int argc, char** argv) {
    Result<SpecScanParameters> par = parseSpecScanArguments(argc, argv);
    if (!par) fatalError(stdout, par.message());
    return std::move(*par);
}

std::string lockedWorkDirOrExit() {
    const std::string workDir = getWorkDir();
    if (Status locked = lockWorkDir(workDir); !locked) fatalError(stdout, locked.message());
    return workDir;
}

// What the header says about the samples, checked.
struct WaveInput {
    WaveFmt_Data fmt{};
    int bits = 16;
    int64_t dataBytes = 0;  // as many as the file holds
};

// The header dump "Wave_File_Format.txt", read back and checked.
WaveInput readHeaderOrExit(const std::string& wavPath, const std::string& workDir) {
    const std::string dumpPath = workDir + "Wave_File_Format.txt";
    if (Status dumped = dumpWaveHeader(wavPath, dumpPath); !dumped) {
        fatalError(stdout, dumped.message());
    }
    std::fputs("\n..File header information was addressed to \"Wave_File_Format.txt\".\n\n",
               stdout);
    Result<WaveFmt_Data> fmt = readWaveFmtData(dumpPath, stdout, stderr);
    if (!fmt) fatalError(stdout, fmt.message());
    WaveInput in;
    in.fmt = *fmt;
    in.bits = in.fmt[kBitsPerSample];
    Result<WaveDataSize> data = usableWaveData(in.fmt, wavPath, fileSize(wavPath));
    if (!data) fatalError(stdout, data.message());
    in.dataBytes = data->bytes;
    std::fputs(data->note.c_str(), stderr);
    return in;
}

// The list is written under a temporary name and takes its own name only
// when complete (and, with the short-term estimation, rewritten), so that a
// list cut short or not yet filtered never stands as SpecScan.txt.
void openPeakListOrExit(OutputFile& list, const std::string& peakPath) {
    if (Status opened = list.open(peakPath, true); !opened) {
        fatalError(stdout,
                   format("cannot open! %s\n%s\n", peakPath.c_str(), opened.message().c_str()));
    }
}

// The samples are read in blocks as the analysis goes; a first pass over
// them gives the amplitude line.
std::unique_ptr<WaveSampleStream> openSamplesOrExit(const std::string& wavPath,
                                                    const WaveInput& in) {
    int mini = 0, maxi = 0;
    if (!scanAmplitude(wavPath, in.dataBytes, in.fmt[kHeaderBytes], in.bits, mini, maxi)) {
        fatalError(stdout, format("cannot open! %s", wavPath.c_str()));
    }
    if (in.bits == 8) std::fputs(kEightBitMessage, stderr);
    std::fputs(amplitudeMessage(mini, maxi).c_str(), stderr);
    auto samples = std::make_unique<WaveSampleStream>();
    if (!samples->open(wavPath, in.dataBytes, in.fmt[kHeaderBytes], in.bits)) {
        fatalError(stdout, format("cannot open! %s", wavPath.c_str()));
    }
    return samples;
}

// The one channel analysed: the first of a stereo recording.
struct Channel {
    bool stereo = false;
    int64_t dataBytes = 0;  // v: the channel's bytes
    int64_t byteRate = 0;
    int64_t samples = 0;  // n: the samples used
};

Channel channelStep(const WaveInput& in, int64_t samplesRead) {
    Channel c;
    c.stereo = in.fmt[kChannels] == 2;
    c.dataBytes = in.dataBytes;
    c.byteRate = in.fmt[kByteRate];
    int64_t monoSamples = samplesRead;
    if (c.stereo) {
        c.dataBytes = in.dataBytes / 2;
        c.byteRate = in.fmt[kByteRate] / 2;
        monoSamples = (samplesRead + 1) / 2;
        std::fputs(stereoToMonoMessage(c.dataBytes, c.byteRate).c_str(), stderr);
    }
    c.samples = std::min<int64_t>(8 * (c.dataBytes / in.bits), monoSamples);
    return c;
}

// The signal at the analysis rate: filtered and resampled from a faster
// recording, as it is from one at that rate; a slower one ends the run.
std::unique_ptr<SignalSource> rateStep(std::unique_ptr<WaveSampleStream> samples,
                                       const WaveInput& in, const Channel& channel,
                                       const ThreadPool& pool) {
    const double rate = static_cast<double>(in.fmt[kSampleRate]);
    if (rate == kAnalysisRateHz)
        return directSignal(std::move(samples), channel.stereo, channel.samples);
    if (rate < kAnalysisRateHz) {
        std::fprintf(stderr, "err: サンプリングレートが%8.2fHz以上でないと解析できません。",
                     kAnalysisRateHz);
        std::exit(1);
    }
    std::vector<double> h;
    try {
        h = downSamplingFilter(rate, kAnalysisRateHz);
    } catch (const std::bad_alloc&) {
        std::fputs("Can't malloc\nCan't make Low-pass filter\n", stderr);
        std::exit(1);
    }
    std::fputs(lowPassFilterMessage(kAnalysisRateHz, static_cast<int64_t>(h.size())).c_str(),
               stderr);
    auto signal = downSampledSignal(std::move(samples), channel.stereo, channel.samples,
                                    std::move(h), rate, kAnalysisRateHz, &pool);
    std::fputs(downSamplingMessage(rate, kAnalysisRateHz).c_str(), stderr);
    std::fputs("\n..Down-sampling was carried out.\n", stderr);
    return signal;
}

FramePlan framePlanOrExit(const Channel& channel, const SpecScanParameters& par,
                          const char* shiftArgument) {
    bool ok = false;
    const FramePlan plan = planFrames(static_cast<double>(channel.dataBytes),
                                      static_cast<double>(channel.byteRate), par.shiftMs, ok);
    if (!ok) {
        fatalError(stdout, format("err: %s gives more frames than can be counted with a frame "
                                  "shift of %s ms\n",
                                  par.wavPath.c_str(), shiftArgument));
    }
    return plan;
}

// The frame loop: the frames are analysed a chunk at a time on the pool, and
// their records written and their levels taken here in frame order.
LevelExtremes scanFramesOrExit(SignalSource& signal, const SpecScanParameters& par,
                               const FramePlan& plan, const ThreadPool& pool, std::FILE* list) {
    const Window window(par.window, par.frameLength);
    FrameReader frames(signal, par.frameLength);
    FrameScanner scanner(window, par.frameLength, par.fftLength, par.shiftInt, pool);
    LevelExtremes extremes;
    ProgressChannel progress("SpecScan");
    std::string failure;
    const bool scanned =
        scanner.run(frames, plan.loopCount, plan.step, [&](int64_t k, const FrameResult& r) {
            progress.report(k - 1, plan.loopCount);
            if (r.failed) {
                failure = r.failure;
                return false;
            }
            for (double level : r.levels) extremes.add(level);
            std::fwrite(r.record.data(), 1, r.record.size(), list);
            return true;
        });
    if (!scanned) fatalError(stderr, failure + "Can't malloc\n");
    progress.report(plan.loopCount, plan.loopCount);
    return extremes;
}

// Line 1 with the extremes, the end of the list, everything written.
void finishFirstPassOrExit(OutputFile& list, const std::string& peakPath,
                           const LevelExtremes& extremes) {
    std::FILE* f = list.get();
    writeFirstPassLine1(f, extremes.maxdB, extremes.mindB);
    std::fseek(f, 0, SEEK_END);
    writeEndOfFile(f);
    if (std::fflush(f) != 0 || std::ferror(f)) {
        const int err = errno;
        list.discard();
        fatalError(stdout,
                   format("err: cannot write %s: %s\n", peakPath.c_str(), std::strerror(err)));
    }
}

void printFrameSummary(const FramePlan& plan, const Channel& channel, int bits) {
    std::fprintf(stdout, "\n\tFirst sample in the last frame is %ld (%ld*16 / %ld) [samples].\n",
                 static_cast<long>(plan.loopCount * plan.step),
                 static_cast<long>(channel.dataBytes), static_cast<long>(bits));
    std::fprintf(stdout, "\tLoop-count is %ld [times].\n", static_cast<long>(plan.loopCount));
    std::fputs("\n..The analysis result was addressed to \"SpecScan.txt\".", stdout);
}

// The first pass stands as SpecScan.txt.
void keepFirstPassOrExit(OutputFile& list) {
    if (Status committed = list.commit(); !committed) {
        fatalError(stdout, "err: " + committed.message() + "\n");
    }
    std::fputs("\n\n..No using proposed method", stdout);
}

// The first pass rewritten into SpecScan.txt by the short-term estimation.
void shortTermEstimationOrExit(OutputFile& list, const std::string& peakPath,
                               const SpecScanParameters& par) {
    const Status estimated =
        shortTermEstimation(list.writingPath(), par.frameLength, par.shiftInt, peakPath);
    list.discard();
    if (!estimated) fatalError(stdout, estimated.message());
    std::fputs("\n\n..\"short-term estimation method for peak frequencies\" was carried out.",
               stderr);
}

}  // namespace

int runSpecScan(int argc, char** argv) {
    printTitleAndArguments(stdout, "..Peak-frequency extraction\n\n", argc, argv);
    const SpecScanParameters par = parametersOrExit(argc, argv);
    const std::string workDir = lockedWorkDirOrExit();
    const WaveInput input = readHeaderOrExit(par.wavPath, workDir);
    const std::string peakPath = workDir + "SpecScan.txt";
    OutputFile list;
    openPeakListOrExit(list, peakPath);
    std::unique_ptr<WaveSampleStream> samples = openSamplesOrExit(par.wavPath, input);

    // The filter's blocks and the frames run on a pool of this many threads;
    // the output is the same for any number.
    const ThreadPool pool(threadsFor(std::getenv("SONVOLA_THREADS")));
    const Channel channel = channelStep(input, samples->total());
    std::unique_ptr<SignalSource> signal = rateStep(std::move(samples), input, channel, pool);
    const FramePlan plan = framePlanOrExit(channel, par, argv[2]);

    writeFirstPassPlaceholder(list.get());
    writeHeaderLines2to4(list.get(), par.shiftInt, static_cast<int32_t>(plan.loopCount),
                         par.wavPath);
    const LevelExtremes extremes = scanFramesOrExit(*signal, par, plan, pool, list.get());
    finishFirstPassOrExit(list, peakPath, extremes);
    printFrameSummary(plan, channel, input.bits);

    if (par.shortTerm) {
        shortTermEstimationOrExit(list, peakPath, par);
    } else {
        keepFirstPassOrExit(list);
    }
    waitForReturnKey();
    return 0;
}

}  // namespace sonvola
