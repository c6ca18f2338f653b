// The piano roll's score reader on a fuzzed score text, then the drawing of
// what it accepted onto a canvas that checks the coordinates and colours.
#include <cstdlib>
#include <string_view>

#include "frontend/core/pianoroll.h"
#include "fuzz/fuzz_util.h"

namespace {

struct CheckingCanvas : sonvola::PlotCanvas {
    static void inside(int x, int y) {
        // Everything lands in the 1100 x 650 picture.
        if (x < -1 || x > 1101 || y < -1 || y > 651) std::abort();
    }
    void fill(int l, int t, int r, int b, sonvola::Rgb c) override {
        inside(l, t);
        inside(r, b);
        colour(c);
    }
    void rectangle(int l, int t, int r, int b) override {
        inside(l, t);
        inside(r, b);
    }
    void ellipse(int, int, int, int) override {}
    void pixel(int x, int y, sonvola::Rgb c) override {
        inside(x, y);
        colour(c);
    }
    void line(int x0, int y0, int x1, int y1) override {
        inside(x0, y0);
        inside(x1, y1);
    }
    void dottedLine(int x0, int y0, int x1, int y1) override {
        inside(x0, y0);
        inside(x1, y1);
    }
    void text(int, int, const std::string&, sonvola::PlotFont) override {}
    static void colour(sonvola::Rgb c) {
        if (c.r < 0 || c.r > 255 || c.g < 0 || c.g > 255 || c.b < 0 || c.b > 255) std::abort();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sonvola::Result<sonvola::RollScore> score = sonvola::readRollScore(text);
    if (score) {
        CheckingCanvas canvas;
        sonvola::drawPianoRoll(*score, nullptr, canvas);
    } else if (score.message().empty()) {
        std::abort();  // a refusal always says why
    }
    return 0;
}
