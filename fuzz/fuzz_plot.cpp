// The plot reader of the front end on a fuzzed peak file, both windows,
// every mode, drawn onto a canvas that only checks the coordinates.
#include <cstdlib>

#include "frontend/core/plot.h"
#include "fuzz/fuzz_util.h"

namespace {

struct CheckingCanvas : sonvola::PlotCanvas {
    void fill(int, int, int, int, sonvola::Rgb) override {}
    void rectangle(int, int, int, int) override {}
    void ellipse(int, int, int, int) override {}
    void pixel(int, int, sonvola::Rgb c) override {
        if (c.r < 0 || c.r > 255 || c.g < 0 || c.g > 255 || c.b < 0 || c.b > 255) std::abort();
    }
    void line(int, int, int, int) override {}
    void dottedLine(int, int, int, int) override {}
    void text(int, int, const std::string&, sonvola::PlotFont) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    sonvola::fuzz::InputFile file(data, size);
    CheckingCanvas canvas;
    for (int mode : {0, 4}) {
        (void)sonvola::drawPlotFile(file.path(), sonvola::PlotKind::Peaks, mode, canvas);
        (void)sonvola::drawPlotFile(file.path(), sonvola::PlotKind::LinkedPeaks, mode, canvas);
    }
    return 0;
}
