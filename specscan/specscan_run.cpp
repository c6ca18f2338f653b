#include "specscan/specscan_run.h"

#include <sys/stat.h>

#include <algorithm>
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
#include "specscan/parallel.h"
#include "specscan/peaks.h"
#include "specscan/prepare.h"
#include "specscan/spectrum.h"
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

bool parseSpecScanArguments(int argc, char** argv, SpecScanParameters& p, std::string& error) {
    if (argc < 9) {
        error = kUsage;
        return false;
    }
    p.wavPath = argv[1];
    p.shiftMs = parseLenientDouble(argv[2]);
    p.shiftInt = parseLenientInt(argv[2]);
    p.shortTerm = std::strcmp(argv[3], "_msec") == 0;
    p.frameLength = parseLenientInt(argv[4]);
    p.fftLength = parseLenientInt(argv[6]);
    if (!(p.shiftMs >= 1.0) || !std::isfinite(p.shiftMs)) {
        error = format(
            "err: the frame shift (argument 2, \"%s\") must be a number of milliseconds of "
            "at least 1\n",
            argv[2]);
        return false;
    }
    if (p.frameLength < 2) {
        error = format("err: the frame length (argument 4, \"%s\") must be at least 2 samples\n",
                       argv[4]);
        return false;
    }
    const int64_t nfft = p.fftLength;
    if (nfft < 4 || (nfft & (nfft - 1)) != 0 || nfft > kMaxFftLength) {
        error = format(
            "err: the transform length (argument 6, \"%s\") must be a power of two from 4 to "
            "%lld\n",
            argv[6], static_cast<long long>(kMaxFftLength));
        return false;
    }
    if (p.frameLength > p.fftLength) {
        error = format("err: the frame length (%d) must not exceed the transform length (%d)\n",
                       p.frameLength, p.fftLength);
        return false;
    }
    auto window = parseWindowName(argv[8]);
    // An unknown window is reported before any file is written, so that no
    // half-written peak list is left behind.
    if (!window) {
        error = windowListMessage();
        return false;
    }
    p.window = *window;
    return true;
}

namespace {}  // namespace

int runSpecScan(int argc, char** argv) {
    printTitleAndArguments(stdout, "..Peak-frequency extraction\n\n", argc, argv);
    SpecScanParameters par;
    std::string argumentError;
    if (!parseSpecScanArguments(argc, argv, par, argumentError)) fatalError(stdout, argumentError);
    const std::string workDir = getWorkDir();
    std::string lockError;
    if (!lockWorkDir(workDir, lockError)) fatalError(stdout, lockError);

    // Header dump and read-back.
    const std::string dumpPath = workDir + "Wave_File_Format.txt";
    std::string cause;
    switch (dumpWaveHeader(par.wavPath, dumpPath, &cause)) {
        case DumpStatus::Ok:
            break;
        case DumpStatus::CannotOpenWav:
            fatalError(stdout,
                       format("cannot open! %s\n%s\n", par.wavPath.c_str(), std::strerror(errno)));
        case DumpStatus::CannotCreateDump:
            fatalError(stdout, format("cannot open! %s\n%s\n", dumpPath.c_str(), cause.c_str()));
        case DumpStatus::NotRiff:
            fatalError(stdout, "error: 評価データが WAVE ファイルではありません ");
        case DumpStatus::NoDataChunk:
            fatalError(stdout, format("err: no \"data\" chunk in the first 200 bytes of %s\n",
                                      par.wavPath.c_str()));
    }
    std::fputs("\n..File header information was addressed to \"Wave_File_Format.txt\".\n\n",
               stdout);
    WaveFmt_Data fmt{};
    int found = readWaveFmtData(dumpPath, fmt, stdout, stderr);
    if (found < 0) fatalError(stdout, "cannot open! > Wave_File_Format.txt");
    if (found != kWaveFmtCount) fatalError(stdout, "\nWaveFmt_Dataに格納したデータ数のエラー");

    const int bits = fmt[kBitsPerSample];
    int64_t dataBytes = 0;
    std::string error, note;
    if (!usableWaveData(fmt, par.wavPath, fileSize(par.wavPath), dataBytes, error, note)) {
        fatalError(stdout, error);
    }
    std::fputs(note.c_str(), stderr);

    // The output file, then the samples.
    const int64_t nfft = par.fftLength;
    // The list is written under a temporary name and takes its own name only
    // when complete (and, with the short-term estimation, rewritten), so that
    // a list cut short or not yet filtered never stands as SpecScan.txt.
    const std::string peakPath = workDir + "SpecScan.txt";
    OutputFile outFile;
    std::string outError;
    if (!outFile.open(peakPath, outError, true)) {
        fatalError(stdout, format("cannot open! %s\n%s\n", peakPath.c_str(), outError.c_str()));
    }
    std::FILE* peaks = outFile.get();

    // The samples are read in blocks as the analysis goes; a first pass over
    // them gives the amplitude line.
    int mini = 0, maxi = 0;
    if (!scanAmplitude(par.wavPath, dataBytes, fmt[kHeaderBytes], bits, mini, maxi)) {
        fatalError(stdout, format("cannot open! %s", par.wavPath.c_str()));
    }
    if (bits == 8) std::fputs("\n..Quantization bit rate is converted 8 into 16.\n", stderr);
    std::fprintf(stderr, "\n\tAmplitude is \"mini: %d\" and \"maxi: %d\".\n", mini, maxi);
    auto samples = std::make_unique<WaveSampleStream>();
    if (!samples->open(par.wavPath, dataBytes, fmt[kHeaderBytes], bits)) {
        fatalError(stdout, format("cannot open! %s", par.wavPath.c_str()));
    }
    const int64_t samplesRead = samples->total();

    // The filter's blocks and the frames run on a pool of this many
    // threads; the output is the same for any number.
    const ThreadPool pool(threadsFor(std::getenv("SONVOLA_THREADS")));

    // Channel step and rate step.
    int64_t v = dataBytes;
    int64_t byteRate = fmt[kByteRate];
    const bool stereo = fmt[kChannels] == 2;
    int64_t monoSamples = samplesRead;
    if (stereo) {
        v = dataBytes / 2;
        byteRate = fmt[kByteRate] / 2;
        monoSamples = (samplesRead + 1) / 2;
        std::fprintf(stderr, "\n\tConvert stereo into mono: %ld[bytes] -> %ld[bytes]",
                     2L * static_cast<long>(v), static_cast<long>(v));
        std::fprintf(stderr,
                     "\n\t                          %ld[[bytes/frame] -> %ld[[bytes/frame]\n",
                     2L * static_cast<long>(byteRate), static_cast<long>(byteRate));
    }
    const int64_t n = std::min<int64_t>(8 * (v / bits), monoSamples);
    const double rate = static_cast<double>(fmt[kSampleRate]);
    std::unique_ptr<SignalSource> signal;
    if (rate > kAnalysisRateHz) {
        std::vector<double> h;
        try {
            h = designKaiserLowPass(kAnalysisRateHz / rate, kStopBandAttenuationDb, 400.0 / rate,
                                    1.0);
        } catch (const std::bad_alloc&) {
            std::fputs("Can't malloc\nCan't make Low-pass filter\n", stderr);
            std::exit(1);
        }
        std::fprintf(stderr, "\n\tLow-pass filter: %8.2f[Hz], %ld points\n", 0.5 * kAnalysisRateHz,
                     static_cast<long>(h.size()));
        signal = downSampledSignal(std::move(samples), stereo, n, std::move(h), rate,
                                   kAnalysisRateHz, &pool);
        std::fprintf(stderr, "\tDown-sampling: %8.2f[Hz] to %8.2f[Hz]\n", rate, kAnalysisRateHz);
        std::fputs("\n..Down-sampling was carried out.\n", stderr);
    } else if (rate == kAnalysisRateHz) {
        signal = directSignal(std::move(samples), stereo, n);
    } else {
        std::fprintf(stderr, "err: サンプリングレートが%8.2fHz以上でないと解析できません。",
                     kAnalysisRateHz);
        std::exit(1);
    }

    bool planOk = false;
    const FramePlan plan =
        planFrames(static_cast<double>(v), static_cast<double>(byteRate), par.shiftMs, planOk);
    if (!planOk) {
        fatalError(stdout, format("err: %s gives more frames than can be counted with a frame "
                                  "shift of %s ms\n",
                                  par.wavPath.c_str(), argv[2]));
    }

    // Head of the peak list.
    writeFirstPassPlaceholder(peaks);
    writeHeaderLines2to4(peaks, par.shiftInt, static_cast<int32_t>(plan.loopCount), par.wavPath);

    // Frame loop: the frames are analysed a chunk at a time on the pool,
    // and their records written and their levels taken here in frame order.
    const Window window(par.window, par.frameLength);
    FrameReader frames(*signal, par.frameLength);
    FrameScanner scanner(window, par.frameLength, nfft, par.shiftInt, pool);
    LevelExtremes extremes;
    ProgressChannel progress("SpecScan");
    const bool scanned =
        scanner.run(frames, plan.loopCount, plan.step, [&](int64_t k, const FrameResult& r) {
            progress.report(k - 1, plan.loopCount);
            if (r.failed) return false;
            for (double level : r.levels) extremes.add(level);
            std::fwrite(r.record.data(), 1, r.record.size(), peaks);
            return true;
        });
    if (!scanned) fatalError(stderr, "Can't malloc\n");

    progress.report(plan.loopCount, plan.loopCount);

    // Complete the first pass.
    writeFirstPassLine1(peaks, extremes.MaxdB, extremes.MindB);
    std::fseek(peaks, 0, SEEK_END);
    writeEndOfFile(peaks);
    if (std::fflush(peaks) != 0 || std::ferror(peaks)) {
        const int err = errno;
        outFile.discard();
        fatalError(stdout,
                   format("err: cannot write %s: %s\n", peakPath.c_str(), std::strerror(err)));
    }

    std::fprintf(stdout, "\n\tFirst sample in the last frame is %ld (%ld*16 / %ld) [samples].\n",
                 static_cast<long>(plan.loopCount * plan.step), static_cast<long>(v),
                 static_cast<long>(bits));
    std::fprintf(stdout, "\tLoop-count is %ld [times].\n", static_cast<long>(plan.loopCount));
    std::fputs("\n..The analysis result was addressed to \"SpecScan.txt\".", stdout);

    if (!par.shortTerm) {
        if (!outFile.commit(outError)) {
            fatalError(stdout, "err: " + outError + "\n");
        }
        std::fputs("\n\n..No using proposed method", stdout);
        waitForReturnKey();
        return 0;
    }
    EstimationResult est =
        shortTermEstimation(outFile.writingPath(), par.frameLength, par.shiftInt, peakPath);
    outFile.discard();
    if (est.status != EstimationStatus::Ok) fatalError(stdout, est.message);
    std::fputs("\n\n..\"short-term estimation method for peak frequencies\" was carried out.",
               stderr);
    waitForReturnKey();
    return 0;
}

}  // namespace sonvola
