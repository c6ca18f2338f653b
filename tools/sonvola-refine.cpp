// sonvola-refine: refines a score text (see tools/refine.h for the rules).
//   sonvola-refine IN.txt OUT.txt [--shift MS] [--frame-length N] [--no-estimation]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/refine.h"

int main(int argc, char** argv) {
    const char* usage =
        "usage: sonvola-refine IN.txt OUT.txt [--shift MS] [--frame-length N] [--no-estimation]\n"
        "  Reads a score text, removes the notes that are partials of a lower note,\n"
        "  adds low notes heard only through their partials, joins notes split by\n"
        "  dropouts, drops flickers too short to be notes and moves the notes\n"
        "  earlier by the analysis latency of the given analysis parameters\n"
        "  (defaults 10 ms, 512, with the short-term estimation). IN and OUT may be\n"
        "  the same file.\n";
    std::string in, out;
    sonvola::RefineOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help") {
            std::fputs(usage, stdout);
            return 0;
        } else if (a == "--shift" && i + 1 < argc) {
            options.frameShiftMs = std::atof(argv[++i]);
        } else if (a == "--frame-length" && i + 1 < argc) {
            options.frameLength = std::atoi(argv[++i]);
        } else if (a == "--no-estimation") {
            options.shortTermEstimation = false;
        } else if (in.empty()) {
            in = a;
        } else if (out.empty()) {
            out = a;
        } else {
            std::fputs(usage, stderr);
            return 2;
        }
    }
    if (out.empty() || !(options.frameShiftMs > 0.0) || options.frameLength < 1) {
        std::fputs(usage, stderr);
        return 2;
    }
    std::ifstream file(in, std::ios::binary);
    if (!file) {
        std::fprintf(stderr, "sonvola-refine: cannot open %s\n", in.c_str());
        return 1;
    }
    std::ostringstream text;
    text << file.rdbuf();
    sonvola::RefineScore score;
    std::string error;
    if (!sonvola::readRefineScore(text.str(), score, error)) {
        std::fprintf(stderr, "sonvola-refine: %s: %s\n", in.c_str(), error.c_str());
        return 1;
    }
    const std::string result = sonvola::writeRefineScore(sonvola::refineScore(score, options));
    // Written beside the target and renamed over it, so a failure never leaves half a score.
    const std::string tmp = out + ".refine-tmp";
    std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
    o << result;
    o.close();
    if (!o || std::rename(tmp.c_str(), out.c_str()) != 0) {
        std::remove(tmp.c_str());
        std::fprintf(stderr, "sonvola-refine: cannot write %s\n", out.c_str());
        return 1;
    }
    std::fprintf(stderr, "sonvola-refine: %zu notes in, %s\n", score.notes.size(), out.c_str());
    return 0;
}
