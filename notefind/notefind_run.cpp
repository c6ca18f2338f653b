#include "notefind/notefind_run.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "common/console.h"
#include "common/numbers.h"
#include "common/peakfile.h"
#include "notefind/recognize.h"

namespace sonvola {

namespace {

struct FileCloser {
    void operator()(std::FILE* f) const {
        if (f) std::fclose(f);
    }
};

// Argument i, or the front end's default when the command line is shorter.
std::string argOr(int argc, char** argv, int i, const char* fallback, std::string& missing) {
    if (i < argc) return argv[i];
    if (!missing.empty()) missing += ", ";
    missing += format("%d (%s)", i, fallback);
    return fallback;
}

}  // namespace

int runNoteFind(int argc, char** argv) {
    printTitleAndArguments(stdout, "..NoteFind for successive musical cords\n\n", argc, argv);

    std::string missing;
    ScoreArguments score;
    score.tempo = argOr(argc, argv, 1, "120", missing);
    const std::string noteValueText = argOr(argc, argv, 3, "128", missing);
    score.numerator = argOr(argc, argv, 5, "4", missing);
    score.denominator = argOr(argc, argv, 7, "4", missing);
    score.program = argOr(argc, argv, 8, "1", missing);
    if (!missing.empty()) {
        std::fprintf(stdout, "..Missing arguments take the defaults: %s\n", missing.c_str());
    }
    const double tempo = parseLenientDouble(score.tempo.c_str());
    const double noteValue = parseLenientDouble(noteValueText.c_str());
    if (!(tempo > 0.0) || !std::isfinite(tempo)) {
        fatalError(stdout, format("err: the tempo \"%s\" must be a positive number\n",
                                  score.tempo.c_str()));
    }
    if (!(noteValue > 0.0) || !std::isfinite(noteValue)) {
        fatalError(stdout, format("err: the note value \"%s\" must be a positive number\n",
                                  noteValueText.c_str()));
    }

    const std::string inPath = getWorkDir() + "TrackJoin.txt";
    const PeakFileHeader header = readPeakHeader(inPath);
    PeakTable tracks;
    {
        std::unique_ptr<std::FILE, FileCloser> in(std::fopen(inPath.c_str(), "rb"));
        if (!in) fatalError(stdout, format("err: Cannot open file:%s\n", inPath.c_str()));
        PeakReadResult r = readPeakRecords(in.get(), tracks);
        if (r.status != PeakReadStatus::Ok) fatalError(stdout, describePeakReadError(r, inPath));
    }

    const double shortest = 240000.0 / tempo / noteValue;
    std::fputs("\n..Calculated values", stdout);
    std::fprintf(stdout, "\nTime of the shortest peak is %lld [msec], \n",
                 static_cast<long long>(shortest < 9.2e18 ? shortest : 9.2e18));
    std::fprintf(stdout, "when musical audio signal is \"%s\". \n", header.signalName.c_str());
    if (header.signalName.empty()) {
        fatalError(stdout, format("err: %s names no recording on line 3\n", inPath.c_str()));
    }
    const std::string scorePath = header.signalName + ".txt";

    std::vector<NoteRecord> notes = recogniseNotes(tracks, header.FrameRate, header.MaxdB, stdout);
    tracks = PeakTable{};
    const std::vector<ScoreEvent> events = buildScoreEvents(notes);

    std::unique_ptr<std::FILE, FileCloser> out(std::fopen(scorePath.c_str(), "wb"));
    if (!out) fatalError(stdout, "err: cannnot open file");
    writeScore(out.get(), notes, events, score);
    const bool failed = std::fflush(out.get()) != 0 || std::ferror(out.get());
    out.reset();
    if (failed) fatalError(stdout, format("err: cannot write %s\n", scorePath.c_str()));
    waitForReturnKey();
    return 0;
}

}  // namespace sonvola
