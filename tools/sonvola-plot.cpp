// sonvola-plot: draws the picture of a plot window from a peak list or a
// linked peak list, or the notes of a score as a piano roll, into a PNG
// file, without a window.
//
//   sonvola-plot [--linked] [--mode 0-4] [--input FILE] OUTPUT.png
//   sonvola-plot --notes SCORE.txt [--input SpecScan.txt] OUTPUT.png
#include <QGuiApplication>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/console.h"
#include "common/outputfile.h"
#include "frontend/core/pianoroll.h"
#include "frontend/core/plot.h"
#include "frontend/qt/imagecanvas.h"
#include "sonvola/version.h"

namespace {

const char* kUsage =
    "usage: sonvola-plot [--linked] [--mode 0-4] [--input FILE] OUTPUT.png\n"
    "       sonvola-plot --notes SCORE.txt [--input SpecScan.txt] OUTPUT.png\n"
    "  Draws the peak list (default: SpecScan.txt of the work directory) or, with\n"
    "  --linked, the linked peak list (TrackJoin.txt) as the plot windows do.\n"
    "  --mode hides the weaker level bands: 0 and 1 show all (0 also marks where\n"
    "  each lump starts and ends), 4 only the loudest. Default 0.\n"
    "  --notes draws the notes of a score text (RECORDING.wav.txt) as a piano\n"
    "  roll, over the peaks of the peak list given with --input, if any.\n"
    "  OUTPUT.png - writes the picture to standard output; an existing file is\n"
    "  replaced only by a complete picture.\n"
    "  --help shows this text, --version the program's name and version.\n";

}  // namespace

int main(int argc, char** argv) {
    sonvola::installTemporaryFileCleanup();
    sonvola::checkStandardOutputAtExit("sonvola-plot");
    bool linked = false, modeGiven = false, withNotes = false;
    int mode = 0;
    std::string input, output, notes;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--linked") {
            linked = true;
        } else if (a == "--mode" && i + 1 < argc) {
            const std::string m = argv[++i];
            if (m.size() != 1 || m[0] < '0' || m[0] > '4') {
                std::fprintf(stderr, "sonvola-plot: the mode must be 0 to 4, not \"%s\"\n%s",
                             m.c_str(), kUsage);
                return 2;
            }
            mode = m[0] - '0';
            modeGiven = true;
        } else if (a == "--input" && i + 1 < argc) {
            input = argv[++i];
        } else if (a == "--notes" && i + 1 < argc) {
            notes = argv[++i];
            withNotes = true;
        } else if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("sonvola-plot %s\n", SONVOLA_VERSION);
            return 0;
        } else if (!a.empty() && (a[0] != '-' || a == "-") && output.empty()) {
            output = a;
        } else {
            std::fprintf(stderr, "sonvola-plot: unexpected argument \"%s\"\n%s", a.c_str(), kUsage);
            return 2;
        }
    }
    if (output.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (withNotes && (linked || modeGiven)) {
        std::fprintf(stderr, "sonvola-plot: --notes draws no lumps and no modes\n%s", kUsage);
        return 2;
    }
    if (input.empty() && !withNotes)
        input = sonvola::getWorkDir() + (linked ? "TrackJoin.txt" : "SpecScan.txt");
    // Fonts need a GUI application; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    // Qt takes the locale from the environment; the files' numbers have a point.
    std::setlocale(LC_NUMERIC, "C");
    sonvola::ImageCanvas canvas;
    if (withNotes) {
        if (const sonvola::Status drawn = sonvola::drawPianoRollFiles(notes, input, canvas);
            !drawn) {
            std::fprintf(stderr, "sonvola-plot: %s\n", drawn.message().c_str());
            return 1;
        }
    } else {
        const sonvola::Status drawn = sonvola::drawPlotFile(
            input, linked ? sonvola::PlotKind::LinkedPeaks : sonvola::PlotKind::Peaks, mode,
            canvas);
        if (!drawn) {
            std::fprintf(stderr, "sonvola-plot: オープンエラー: %s\n%s\n", input.c_str(),
                         drawn.message().c_str());
            return 1;
        }
    }
    if (const sonvola::Status written = sonvola::writePng(canvas.image(), output); !written) {
        std::fprintf(stderr, "sonvola-plot: %s\n", written.message().c_str());
        return 1;
    }
    return 0;
}
