// sonvola-refine: refines a score text (see tools/refine.h for the rules).
//   sonvola-refine IN.txt OUT.txt [--shift MS] [--frame-length N] [--no-estimation]
//                  [--peaks SpecScan.txt --tracks TrackJoin.txt]
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>

#include "common/numbers.h"
#include "common/outputfile.h"
#include "sonvola/version.h"
#include "tools/evidence.h"
#include "tools/refine.h"

namespace {

const char* kUsage =
    "usage: sonvola-refine IN.txt OUT.txt [--shift MS] [--frame-length N] [--no-estimation]\n"
    "                      [--peaks SpecScan.txt --tracks TrackJoin.txt]\n"
    "  Reads a score text, removes the notes that are partials of a lower note,\n"
    "  adds low notes heard only through their partials, joins notes split by\n"
    "  dropouts, drops flickers too short to be notes and moves the notes\n"
    "  earlier by the analysis latency of the given analysis parameters\n"
    "  (defaults 10 ms, 512, with the short-term estimation). IN and OUT may be\n"
    "  the same file; - reads standard input or writes standard output. OUT is\n"
    "  replaced only by a complete score.\n"
    "  --shift MS          frame shift of the analysis, at least 1 ms\n"
    "  --frame-length N    frame length of the analysis, 2 to 1048576 samples\n"
    "  --no-estimation     the analysis ran without the short-term estimation\n"
    "  --peaks FILE        the peak list of the analysis (SpecScan.txt)\n"
    "  --tracks FILE       its linked tracks (TrackJoin.txt); with both, the rules\n"
    "                      decide by the levels heard (doublings, fundamentals,\n"
    "                      held notes, ends)\n"
    "  --help              this text\n"
    "  --version           the program's name and version\n";

int usageError(const std::string& message) {
    std::fprintf(stderr, "sonvola-refine: %s\n%s", message.c_str(), kUsage);
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    sonvola::installTemporaryFileCleanup();
    sonvola::checkStandardOutputAtExit("sonvola-refine");
    std::string in, out, peaks, tracks;
    sonvola::RefineOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("sonvola-refine %s\n", SONVOLA_VERSION);
            return 0;
        } else if (a == "--shift" || a == "--frame-length") {
            if (i + 1 >= argc) return usageError("option " + a + " needs a value");
            const std::string v = argv[++i];
            int64_t n = 0;
            if (a == "--shift") {
                if (!sonvola::parseStrictDouble(v, options.frameShiftMs) ||
                    options.frameShiftMs < 1.0 || options.frameShiftMs > 1e6) {
                    return usageError("--shift \"" + v +
                                      "\" is not a number of milliseconds from 1 to 1000000");
                }
            } else if (!sonvola::parseStrictInt(v, n) || n < 2 || n > 1048576) {
                return usageError("--frame-length \"" + v +
                                  "\" is not a whole number of samples from 2 to 1048576");
            } else {
                options.frameLength = static_cast<int>(n);
            }
        } else if (a == "--peaks" || a == "--tracks") {
            if (i + 1 >= argc) return usageError("option " + a + " needs a value");
            (a == "--peaks" ? peaks : tracks) = argv[++i];
        } else if (a == "--no-estimation") {
            options.shortTermEstimation = false;
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError("unknown option " + a);
        } else if (in.empty()) {
            in = a;
        } else if (out.empty()) {
            out = a;
        } else {
            return usageError("unexpected argument \"" + a + "\"");
        }
    }
    if (out.empty()) return usageError("IN.txt and OUT.txt are needed");
    if (peaks.empty() != tracks.empty()) return usageError("--peaks and --tracks go together");
    std::ostringstream text;
    if (in == "-") {
        text << std::cin.rdbuf();
    } else {
        std::ifstream file(in, std::ios::binary);
        if (!file) {
            std::fprintf(stderr, "sonvola-refine: cannot open %s: %s\n", in.c_str(),
                         std::strerror(errno));
            return 1;
        }
        text << file.rdbuf();
        if (file.bad()) {
            std::fprintf(stderr, "sonvola-refine: cannot read %s\n", in.c_str());
            return 1;
        }
    }
    const sonvola::Result<sonvola::RefineScore> score = sonvola::readRefineScore(text.str());
    if (!score) {
        std::fprintf(stderr, "sonvola-refine: %s: %s\n", in == "-" ? "standard input" : in.c_str(),
                     score.message().c_str());
        return 1;
    }
    std::unique_ptr<sonvola::SpectralEvidence> evidence;
    if (!peaks.empty()) {
        auto loaded = sonvola::loadSpectralEvidence(peaks, tracks);
        if (!loaded) {
            std::fprintf(stderr, "sonvola-refine: %s\n", loaded.message().c_str());
            return 1;
        }
        evidence = std::move(*loaded);
        options.evidence = evidence.get();
    }
    const std::string result = sonvola::writeRefineScore(sonvola::refineScore(*score, options));
    if (const sonvola::Status written = sonvola::writeWholeFile(out, result); !written) {
        std::fprintf(stderr, "sonvola-refine: %s\n", written.message().c_str());
        return 1;
    }
    std::fprintf(stderr, "sonvola-refine: %zu notes in, %s\n", score->notes.size(),
                 out == "-" ? "standard output" : out.c_str());
    return 0;
}
