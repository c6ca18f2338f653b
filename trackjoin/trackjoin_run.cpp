#include "trackjoin/trackjoin_run.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "common/console.h"
#include "common/fileptr.h"
#include "common/numbers.h"
#include "common/outputfile.h"
#include "common/peakfile.h"
#include "trackjoin/linking.h"

namespace sonvola {

namespace {

constexpr const char* kUsage =
    "usage: TrackJoin TEMPO _tempo NOTE_VALUE _分音符\n"
    "  e.g. TrackJoin 120 _tempo 128 _分音符\n"
    "  (argument 2 other than \"_tempo\" skips the amendment pass)\n";

// Reads a whole peak file or ends the program with the reason.
PeakTable readTableOrExit(const std::string& path) {
    FilePtr in(std::fopen(path.c_str(), "rb"));
    if (!in) fatalError(stdout, format("err: Cannot open file:%s\n", path.c_str()));
    PeakTable table;
    const Status read = readPeakRecords(in.get(), path, table);
    if (!read) fatalError(stdout, read.message());
    return table;
}

void createOrExit(OutputFile& out, const std::string& path, bool seekable = false) {
    if (Status opened = out.open(path, seekable); !opened) {
        fatalError(stdout, format("cannot open! %s\n%s\n", path.c_str(), opened.message().c_str()));
    }
}

void writeHeader(std::FILE* out, const PeakFileHeader& h) {
    writeRewrittenLine1(out, h.maxdB, h.mindB);
    writeHeaderLines2to4(out, h.frameRate, h.loopCount, h.signalName);
}

void flushOrExit(OutputFile& f, const std::string& path) {
    if (std::fflush(f.get()) != 0 || std::ferror(f.get())) {
        const int err = errno;
        f.discard();
        fatalError(stdout, format("err: cannot write %s: %s\n", path.c_str(), std::strerror(err)));
    }
}

void commitOrExit(OutputFile& f) {
    if (Status committed = f.commit(); !committed) {
        fatalError(stdout, "err: " + committed.message() + "\n");
    }
}

Result<double> positiveNumber(const char* text, const char* what) {
    const double value = parseLenientDouble(text);
    if (!(value > 0.0) || !std::isfinite(value)) {
        return Status::error(format("err: the %s \"%s\" must be a positive number\n", what, text));
    }
    return value;
}

}  // namespace

Result<TrackJoinParameters> parseTrackJoinArguments(int argc, char** argv) {
    if (argc < 4) return Status::error(kUsage);
    TrackJoinParameters p;
    p.amend = std::strcmp(argv[2], "_tempo") == 0;
    const Result<double> tempo = positiveNumber(argv[1], "tempo (argument 1)");
    if (!tempo) return tempo.status();
    const Result<double> noteValue = positiveNumber(argv[3], "note value (argument 3)");
    if (!noteValue) return noteValue.status();
    p.tempo = *tempo;
    p.noteValue = *noteValue;
    return p;
}

int runTrackJoin(int argc, char** argv) {
    printTitleAndArguments(stdout, "..Combine peaks by the cost minimum\n\n", argc, argv);
    const Result<TrackJoinParameters> par = parseTrackJoinArguments(argc, argv);
    if (!par) fatalError(stdout, par.message());
    const double tempo = par->tempo;
    const double noteValue = par->noteValue;
    const bool amend = par->amend;

    const std::string workDir = getWorkDir();
    if (Status locked = lockWorkDir(workDir); !locked) fatalError(stdout, locked.message());
    const std::string inPath = workDir + "SpecScan.txt";
    const PeakFileHeader header = readPeakHeader(inPath);
    PeakTable table = readTableOrExit(inPath);

    // The linked list replaces TrackJoin.txt only when complete (and, with
    // the amendment pass, amended): the first pass goes to a temporary file.
    const std::string outPath = workDir + "TrackJoin.txt";
    OutputFile out;
    createOrExit(out, outPath, amend);
    writeHeader(out.get(), header);

    const int32_t shortestMs = shortestPeakMs(tempo, noteValue);
    std::fputs("\n..Calculated values", stdout);
    std::fprintf(stdout, "\nTime of the shortest peak is %d [msec], \n", shortestMs);
    std::fprintf(stdout, "when musical audio signal is \"%s\". \n", header.signalName.c_str());

    linkPeaks(table, header.frameRate, header.loopCount, out.get(), stderr);
    flushOrExit(out, outPath);
    table = PeakTable{};
    std::fputs("\n..Carried out pitch extraction using connection cost", stderr);

    if (!amend) {
        commitOrExit(out);
        std::fputs("\n\nNo using a new technique", stdout);
        waitForReturnKey();
        return 0;
    }

    // Amendment pass on the lumps just written.
    const PeakFileHeader lumpHeader = readPeakHeader(out.writingPath());
    PeakTable lumps = readTableOrExit(out.writingPath());
    out.discard();
    OutputFile rewritten;
    createOrExit(rewritten, outPath);
    writeHeader(rewritten.get(), lumpHeader);
    std::fputs("\n..Under proccecing\n\n", stdout);
    amendLumps(lumps, lumpHeader.frameRate, shortestMs, stdout);
    writeStrongLumps(lumps, lumpHeader.maxdB, lumpHeader.mindB, rewritten.get());
    commitOrExit(rewritten);
    std::fputs("\n..Carried out a new technique", stderr);
    waitForReturnKey();
    return 0;
}

}  // namespace sonvola
