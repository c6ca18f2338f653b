// sonvola-eval: note-level transcription scores of an estimate against a
// reference (MIDI files or "onset offset pitch" text lists).
#include <cstdio>
#include <string>

#include "common/outputfile.h"
#include "sonvola/version.h"
#include "tools/evaluate.h"

int main(int argc, char** argv) {
    sonvola::checkStandardOutputAtExit("sonvola-eval");
    // Usage: on standard output with status 0 when asked for with --help,
    // else on standard error with status 2. A file refused: status 1.
    if (argc == 2 && std::string(argv[1]) == "--version") {
        std::printf("sonvola-eval %s\n", SONVOLA_VERSION);
        return 0;
    }
    const bool askedHelp = argc >= 2 && std::string(argv[1]) == "--help";
    const bool help = askedHelp && argc == 2;
    if (argc != 3 || askedHelp) {
        std::fputs(
            "usage: sonvola-eval REFERENCE ESTIMATE\n"
            "  REFERENCE and ESTIMATE: MIDI files or text lists of \"onset offset pitch\"\n"
            "  (seconds, seconds, MIDI key). Prints precision, recall and F1 with onsets\n"
            "  within 50 ms and pitches within 50 cents, and again with offsets within\n"
            "  max(50 ms, 20% of the reference note).\n"
            "  --help shows this text, --version the program's name and version.\n",
            help ? stdout : stderr);
        return help ? 0 : 2;
    }
    sonvola::Result<std::vector<sonvola::EvalNote>> ref = sonvola::readNotes(argv[1]);
    if (!ref) {
        std::fprintf(stderr, "sonvola-eval: %s\n", ref.message().c_str());
        return 1;
    }
    sonvola::Result<std::vector<sonvola::EvalNote>> est = sonvola::readNotes(argv[2]);
    if (!est) {
        std::fprintf(stderr, "sonvola-eval: %s\n", est.message().c_str());
        return 1;
    }
    sonvola::EvalTolerances t;
    const auto onset = sonvola::evaluateNotes(*ref, *est, t);
    t.offsets = true;
    const auto both = sonvola::evaluateNotes(*ref, *est, t);
    std::printf("reference notes: %d, estimated notes: %d\n", onset.reference, onset.estimated);
    std::printf("onset:        precision %.3f  recall %.3f  F1 %.3f  (%d matched)\n",
                onset.precision, onset.recall, onset.f1, onset.matched);
    std::printf("onset+offset: precision %.3f  recall %.3f  F1 %.3f  (%d matched)\n",
                both.precision, both.recall, both.f1, both.matched);
    return 0;
}
