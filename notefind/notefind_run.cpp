#include "notefind/notefind_run.h"

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>

#include "common/console.h"
#include "common/fileptr.h"
#include "common/numbers.h"
#include "common/outputfile.h"
#include "common/peakfile.h"
#include "notefind/recognize.h"

namespace sonvola {

namespace {

// Argument i, or the front end's default when the command line is shorter.
std::string argOr(int argc, char** argv, int i, const char* fallback, std::string& missing) {
    if (i < argc) return argv[i];
    if (!missing.empty()) missing += ", ";
    missing += format("%d (%s)", i, fallback);
    return fallback;
}

}  // namespace

Status parseNoteFindArguments(int argc, char** argv, NoteFindParameters& p) {
    p.score.tempo = argOr(argc, argv, 1, "120", p.missing);
    const std::string noteValueText = argOr(argc, argv, 3, "128", p.missing);
    p.score.numerator = argOr(argc, argv, 5, "4", p.missing);
    p.score.denominator = argOr(argc, argv, 7, "4", p.missing);
    p.score.program = argOr(argc, argv, 8, "1", p.missing);
    p.tempo = parseLenientDouble(p.score.tempo.c_str());
    p.noteValue = parseLenientDouble(noteValueText.c_str());
    if (!(p.tempo > 0.0) || !std::isfinite(p.tempo)) {
        return Status::error(
            format("err: the tempo \"%s\" must be a positive number\n", p.score.tempo.c_str()));
    }
    if (!(p.noteValue > 0.0) || !std::isfinite(p.noteValue)) {
        return Status::error(format("err: the note value \"%s\" must be a positive number\n",
                                    noteValueText.c_str()));
    }
    return {};
}

int runNoteFind(int argc, char** argv) {
    printTitleAndArguments(stdout, "..NoteFind for successive musical cords\n\n", argc, argv);

    NoteFindParameters par;
    const Status arguments = parseNoteFindArguments(argc, argv, par);
    if (!par.missing.empty()) {
        std::fprintf(stdout, "..Missing arguments take the defaults: %s\n", par.missing.c_str());
    }
    if (!arguments) fatalError(stdout, arguments.message());
    const ScoreArguments& score = par.score;
    const double tempo = par.tempo;
    const double noteValue = par.noteValue;

    const std::string workDir = getWorkDir();
    if (Status locked = lockWorkDir(workDir); !locked) fatalError(stdout, locked.message());
    const std::string inPath = workDir + "TrackJoin.txt";
    const PeakFileHeader header = readPeakHeader(inPath);
    PeakTable tracks;
    {
        FilePtr in(std::fopen(inPath.c_str(), "rb"));
        if (!in) fatalError(stdout, format("err: Cannot open file:%s\n", inPath.c_str()));
        const Status read = readPeakRecords(in.get(), inPath, tracks);
        if (!read) fatalError(stdout, read.message());
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

    std::vector<NoteRecord> notes = recogniseNotes(tracks, header.frameRate, header.maxdB, stdout);
    tracks = PeakTable{};
    const std::vector<ScoreEvent> events = buildScoreEvents(notes);

    // The score replaces an earlier one only when written whole.
    OutputFile out;
    if (Status opened = out.open(scorePath); !opened) {
        fatalError(stdout, format("err: cannnot open file\n%s\n", opened.message().c_str()));
    }
    writeScore(out.get(), notes, events, score);
    if (Status committed = out.commit(); !committed) {
        fatalError(stdout, "err: " + committed.message() + "\n");
    }
    waitForReturnKey();
    return 0;
}

}  // namespace sonvola
