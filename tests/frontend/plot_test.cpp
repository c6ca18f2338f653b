// The plot logic on a canvas that records what is drawn.
#include "frontend/core/plot.h"

#include <gtest/gtest.h>

#include <map>

#include "tests/support/peaktables.h"
#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

struct RecordingCanvas : PlotCanvas {
    std::map<std::pair<int, int>, Rgb> pixels;
    std::vector<std::string> calls;  // everything but pixels
    void fill(int l, int t, int r, int b, Rgb) override {
        calls.push_back(fmt("fill", l, t, r, b));
    }
    void rectangle(int l, int t, int r, int b) override {
        calls.push_back(fmt("rect", l, t, r, b));
    }
    void ellipse(int l, int t, int r, int b) override {
        calls.push_back(fmt("ellipse", l, t, r, b));
    }
    void pixel(int x, int y, Rgb c) override { pixels[{x, y}] = c; }
    void line(int x0, int y0, int x1, int y1) override {
        calls.push_back(fmt("line", x0, y0, x1, y1));
    }
    void dottedLine(int x0, int y0, int x1, int y1) override {
        calls.push_back(fmt("dots", x0, y0, x1, y1));
    }
    void text(int x, int y, const std::string& t, PlotFont) override {
        calls.push_back("text " + std::to_string(x) + " " + std::to_string(y) + " " + t);
    }
    static std::string fmt(const char* what, int a, int b, int c, int d) {
        return std::string(what) + " " + std::to_string(a) + " " + std::to_string(b) + " " +
               std::to_string(c) + " " + std::to_string(d);
    }
    bool has(const std::string& call) const {
        return std::find(calls.begin(), calls.end(), call) != calls.end();
    }
    int count(const std::string& prefix) const {
        int n = 0;
        for (const auto& c : calls) n += c.rfind(prefix, 0) == 0;
        return n;
    }
};

RecordingCanvas draw(const std::string& text, PlotKind kind, int mode) {
    test::TempDir dir;
    test::writeFile(dir.file("p.txt"), text);
    RecordingCanvas c;
    EXPECT_TRUE(drawPlotFile(dir.file("p.txt"), kind, mode, c));
    return c;
}

std::vector<test::RecordSpec> frames(int count, float freq, float level) {
    std::vector<test::RecordSpec> r;
    for (int i = 1; i <= count; ++i) r.push_back({i * 10, {{freq, level}}});
    return r;
}

TEST(PlotPositions, RowsAndColumns) {
    EXPECT_EQ(plotRow(440.0), 527);
    EXPECT_EQ(plotRow(0.0), 572);
    EXPECT_EQ(plotRow(5512.5), 20);
    int xs[1001];
    ASSERT_EQ(plotColumns(7, 300, xs), 4);
    EXPECT_EQ(xs[0], 997 * 7 / 300 + 81);
    EXPECT_EQ(xs[3], xs[0] + 3);
    ASSERT_EQ(plotColumns(7, 2000, xs), 1);
    EXPECT_EQ(xs[0], 84);
    plotColumns(6, 2000, xs);
    EXPECT_EQ(xs[0], 84);  // two records share a column
    EXPECT_EQ(plotColumns(5, 0, xs), 0);
}

TEST(PlotColours, FromBlueToYellow) {
    EXPECT_EQ(levelValue(-63.0, -63.0, -3.0), 0);
    EXPECT_EQ(levelColour(0), (Rgb{0, 0, 255}));
    EXPECT_EQ(levelValue(-33.0, -63.0, -3.0), 512);
    EXPECT_EQ(levelColour(512), (Rgb{0, 255, 0}));
    EXPECT_EQ(levelValue(-3.0, -63.0, -3.0), 1024);
    EXPECT_EQ(levelColour(1024), (Rgb{255, 255, 0}));
    EXPECT_EQ(levelColour(300), (Rgb{0, 255, 211}));
    EXPECT_EQ(levelColour(800), (Rgb{255, 223, 0}));
    EXPECT_EQ(levelValue(5.0, 5.0, 5.0), 0);  // an empty range does not fail
}

TEST(PlotColours, ModesHideTheWeakerBands) {
    for (int mode = 0; mode <= 4; ++mode) {
        EXPECT_TRUE(bandVisible(900, mode));
        EXPECT_EQ(bandVisible(600, mode), mode <= 3);
        EXPECT_EQ(bandVisible(300, mode), mode <= 2);
        EXPECT_EQ(bandVisible(100, mode), mode <= 1);
    }
}

TEST(PeakPlot, ThreeHundredFramesFourPixelsAndTicksAtOneAndTwoSeconds) {
    RecordingCanvas c =
        draw(test::peakFileText(-3, -63, 10, 300, "a.wav", frames(300, 440.0f, -3.0f)),
             PlotKind::Peaks, 1);
    const int x7 = 997 * 7 / 300 + 81;
    for (int j = 0; j < 4; ++j) EXPECT_TRUE(c.pixels.count({x7 + j, 527})) << j;
    EXPECT_EQ(c.pixels.at({x7, 527}), (Rgb{255, 255, 0}));
    EXPECT_TRUE(c.has("line 413 571 413 562"));
    EXPECT_TRUE(c.has("text 408 572 1"));
    EXPECT_TRUE(c.has("line 747 571 747 562"));
    EXPECT_TRUE(c.has("text 742 572 2"));
    EXPECT_EQ(c.count("line "), 2);
    EXPECT_TRUE(c.has("rect 80 20 1082 572"));
    EXPECT_EQ(c.count("dots 81 "), 5);
    // The last record (h = 300) is not drawn.
    EXPECT_FALSE(c.pixels.count({997 * 300 / 300 + 81, 527}));
}

TEST(PeakPlot, ModeFourShowsOnlyTheLoudest) {
    std::vector<test::RecordSpec> recs{
        {10, {{1000.0f, -3.0f}, {2000.0f, -33.0f}, {3000.0f, -63.0f}}}, {20, {}}, {30, {}}};
    RecordingCanvas all =
        draw(test::peakFileText(-3, -63, 10, 3, "a.wav", recs), PlotKind::Peaks, 1);
    RecordingCanvas loud =
        draw(test::peakFileText(-3, -63, 10, 3, "a.wav", recs), PlotKind::Peaks, 4);
    EXPECT_TRUE(all.pixels.count({81 + 332, plotRow(3000.0)}) ||
                all.pixels.size() > loud.pixels.size());
    EXPECT_EQ(all.pixels.size(), 3u * loud.pixels.size());
}

TEST(LumpPlot, LumpLabelledSeventyStartsInColumnSevenWithMarksInModeZero) {
    const std::string text =
        test::peakFileText(-3, -63, 10, 2000, "a.wav", {{70, {{440.0f, -3.0f}, {441.0f, -3.0f}}}});
    RecordingCanvas marked = draw(text, PlotKind::LinkedPeaks, 0);
    EXPECT_TRUE(marked.pixels.count({84, 527}));  // column 7 of 2000
    EXPECT_TRUE(marked.has("ellipse 80 525 84 529"));
    EXPECT_TRUE(marked.has("rect 85 525 89 529"));  // after column 8
    RecordingCanvas plain = draw(text, PlotKind::LinkedPeaks, 1);
    EXPECT_EQ(plain.count("ellipse"), 0);
    EXPECT_EQ(plain.pixels, marked.pixels);
    // Ticks after the records: every 100 frames of 10 ms.
    EXPECT_EQ(plain.count("line "), 19);
}

TEST(Plots, DegenerateFilesDrawWithoutFailing) {
    for (const std::string& text :
         {std::string(""), std::string("MaxdB: 1 MindB: 1\nFrameRate: 0 LoopCount: 0\n"),
          test::peakFileText(5, 5, 0, 0, "a.wav", {{70, {{440.0f, 5.0f}}}}),
          test::peakFileText(-3, -63, 10, 50, "a.wav", frames(5, 440.0f, -3.0f)).substr(0, 300),
          test::peakFileText(-3, -63, 10, 1, "a.wav", frames(1, 440.0f, -3.0f))}) {
        draw(text, PlotKind::Peaks, 0);
        draw(text, PlotKind::LinkedPeaks, 0);
    }
    RecordingCanvas none;
    EXPECT_FALSE(drawPlotFile("/nonexistent/SpecScan.txt", PlotKind::Peaks, 0, none));
    EXPECT_TRUE(none.calls.empty());
}

TEST(PlotWords, LongWordsAreCutAt1024) {
    test::TempDir dir;
    test::writeFile(dir.file("w.txt"), "  " + std::string(1500, 'x') + " y");
    std::FILE* f = std::fopen(dir.file("w.txt").c_str(), "rb");
    EXPECT_EQ(readPlotWord(f).size(), 1024u);
    EXPECT_EQ(readPlotWord(f).size(), 476u);
    EXPECT_EQ(readPlotWord(f), "y");
    EXPECT_EQ(readPlotWord(f), "");
    std::fclose(f);
}

TEST(PlotHeaderReading, ValuesAndMissingParts) {
    test::TempDir dir;
    test::writeFile(dir.file("h.txt"), test::peakFileText(-3.5f, -60, 10, 300, "my song.wav", {}));
    std::FILE* f = std::fopen(dir.file("h.txt").c_str(), "rb");
    PlotHeader h = readPlotHeader(f);
    EXPECT_DOUBLE_EQ(h.MaxdB, -3.5);
    EXPECT_DOUBLE_EQ(h.MindB, -60.0);
    EXPECT_EQ(h.FrameRate, 10);
    EXPECT_EQ(h.LoopCount, 300);
    EXPECT_EQ(readPlotWord(f), std::string(177, '-'));
    std::fclose(f);
}

}  // namespace
}  // namespace sonvola

namespace sonvola {
namespace {

// Found by fuzzing: a frame shift and a frame count whose product in whole
// seconds does not fit 32 bits.
TEST(Plots, FuzzFindingHugeTickSecondsDrawsWithoutOverflow) {
    RecordingCanvas c;
    const std::string path = std::string(SONVOLA_SOURCE_DIR) + "/tests/data/plot-huge-seconds.txt";
    ASSERT_TRUE(drawPlotFile(path, PlotKind::LinkedPeaks, 0, c));
    ASSERT_TRUE(drawPlotFile(path, PlotKind::Peaks, 0, c));
    test::TempDir dir;
    test::writeFile(dir.file("p.txt"),
                    test::peakFileText(-3, -63, 2000000000, 2000000, "a.wav", {}));
    RecordingCanvas big;
    ASSERT_TRUE(drawPlotFile(dir.file("p.txt"), PlotKind::LinkedPeaks, 0, big));
    // The first tick drawn (every 1024th frame here) at 2048000000 s.
    EXPECT_TRUE(big.has("text 75 572 2048000000"));
}

}  // namespace
}  // namespace sonvola
