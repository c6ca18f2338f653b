// The plot logic on a canvas that records what is drawn.
#include "frontend/core/plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <set>
#include <sstream>

#include "frontend/core/pianoroll.h"
#include "tests/support/peaktables.h"
#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

struct RecordingCanvas : PlotCanvas {
    std::map<std::pair<int, int>, Rgb> pixels;
    std::vector<std::string> calls;  // everything but pixels
    std::vector<std::pair<std::array<int, 4>, Rgb>> fills;
    void fill(int l, int t, int r, int b, Rgb c) override {
        calls.push_back(fmt("fill", l, t, r, b));
        fills.push_back({{l, t, r, b}, c});
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
    EXPECT_TRUE(drawPlotFile(dir.file("p.txt"), kind, mode, c).ok());
    return c;
}

std::vector<test::RecordRows> frames(int count, float freq, float level) {
    std::vector<test::RecordRows> r;
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

TEST(PlotColours, FromBlueThroughCyanGreenAndYellowToRed) {
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
    std::vector<test::RecordRows> recs{
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
    EXPECT_EQ(drawPlotFile("/nonexistent/SpecScan.txt", PlotKind::Peaks, 0, none).message(),
              "No such file or directory");
    EXPECT_TRUE(none.calls.empty());
}

TEST(PeakPlot, ASignalNameLongerThan255BytesLeavesTheRecordsInPlace) {
    // The header is read as the stages read it: line 3 whole, however long.
    const std::string longName = "/music/" + std::string(400, 'n') + " x.wav";
    const RecordingCanvas c =
        draw(test::peakFileText(-3, -63, 10, 50, longName, frames(3, 440.0f, -3.0f)),
             PlotKind::Peaks, 1);
    const RecordingCanvas shortName = draw(
        test::peakFileText(-3, -63, 10, 50, "a.wav", frames(3, 440.0f, -3.0f)), PlotKind::Peaks, 1);
    // Records 1 to 3 of 50: 21 columns each from 81 + 980 k / 50 (100, 120
    // and 139), at row 527; neighbours share 3 columns.
    EXPECT_TRUE(c.pixels.count({100, 527}));
    EXPECT_TRUE(c.pixels.count({159, 527}));
    EXPECT_EQ(c.pixels.size(), 3u * 21u - 3u);
    EXPECT_EQ(c.pixels, shortName.pixels);
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
    ASSERT_TRUE(drawPlotFile(path, PlotKind::LinkedPeaks, 0, c).ok());
    ASSERT_TRUE(drawPlotFile(path, PlotKind::Peaks, 0, c).ok());
    test::TempDir dir;
    test::writeFile(dir.file("p.txt"),
                    test::peakFileText(-3, -63, 2000000000, 2000000, "a.wav", {}));
    RecordingCanvas big;
    ASSERT_TRUE(drawPlotFile(dir.file("p.txt"), PlotKind::LinkedPeaks, 0, big).ok());
    // The first tick drawn (every 1024th frame here) at 2048000000 s.
    EXPECT_TRUE(big.has("text 75 572 2048000000"));
}

}  // namespace
}  // namespace sonvola

namespace sonvola {
namespace {

// --- Time ticks ------------------------------------------------------------

TEST(TimeTicks, EveryWholeSecondAndEveryFrameWhenTheShiftIsZero) {
    EXPECT_TRUE(timeTickAt(100, 10));
    EXPECT_FALSE(timeTickAt(50, 10));
    EXPECT_TRUE(timeTickAt(3, 0));
    EXPECT_TRUE(timeTickAt(1, 0));
    EXPECT_TRUE(timeTickAt(100, -10));
}

std::vector<std::string> texts(const RecordingCanvas& c, int y) {
    std::vector<std::string> out;
    const std::string prefix = "text ";
    for (const auto& call : c.calls) {
        if (call.rfind(prefix, 0) != 0) continue;
        std::istringstream in(call.substr(prefix.size()));
        int x = 0, ty = 0;
        std::string t;
        in >> x >> ty;
        std::getline(in, t);
        if (ty == y) out.push_back(t.substr(1));
    }
    return out;
}

TEST(PeakPlot, FrameRateZeroTicksEveryFrameLabelledZero) {
    RecordingCanvas c =
        draw(test::peakFileText(-3, -63, 0, 300, "a.wav", frames(300, 440.0f, -3.0f)),
             PlotKind::Peaks, 1);
    // h = 1 .. 299, at (1001 h) div 300 + 80.
    EXPECT_EQ(c.count("line "), 299);
    EXPECT_TRUE(c.has("line 83 571 83 562"));
    EXPECT_TRUE(c.has("text 78 572 0"));
    EXPECT_TRUE(c.has("line 1077 571 1077 562"));
    EXPECT_TRUE(c.has("text 1072 572 0"));
    const std::vector<std::string> labels = texts(c, 572);
    EXPECT_EQ(labels.size(), 299u);
    for (const auto& t : labels) EXPECT_EQ(t, "0");
}

TEST(PeakPlot, FrameRateZeroWithMoreFramesThanColumnsWritesEachNumberOnce) {
    RecordingCanvas c =
        draw(test::peakFileText(-3, -63, 0, 3000, "a.wav", frames(3000, 440.0f, -3.0f)),
             PlotKind::Peaks, 1);
    EXPECT_EQ(c.count("line "), 2999);  // every tick line
    std::set<std::string> distinct;
    for (const auto& call : c.calls) {
        if (call.rfind("line ", 0) == 0) distinct.insert(call);
    }
    // One number per tick column.
    EXPECT_EQ(texts(c, 572).size(), distinct.size());
}

TEST(LumpPlot, FrameRateZeroStillDrawsNoTicks) {
    RecordingCanvas c =
        draw(test::peakFileText(-3, -63, 0, 300, "a.wav", {{70, {{440.0f, -3.0f}}}}),
             PlotKind::LinkedPeaks, 1);
    EXPECT_EQ(c.count("line "), 0);
}

// --- The colour key ----------------------------------------------------------

bool inLegendArea(const std::array<int, 4>& r) {
    return r[0] >= 690 && r[2] <= kPlotWidth && r[1] >= 604 && r[3] <= kPlotHeight;
}

TEST(Legend, StripRunsBlueCyanGreenYellowRedInTheFreeMargin) {
    RecordingCanvas c =
        draw(test::peakFileText(-3, -63, 10, 300, "a.wav", frames(300, 440.0f, -3.0f)),
             PlotKind::Peaks, 1);
    std::map<int, Rgb> columns;  // strip column -> colour
    for (const auto& [r, colour] : c.fills) {
        if (r[0] == 0 && r[1] == 0) continue;  // the background
        EXPECT_TRUE(inLegendArea(r)) << r[0] << " " << r[1] << " " << r[2] << " " << r[3];
        if (r[1] == kLegendTop && r[3] == kLegendTop + kLegendHeight && r[2] == r[0] + 1 &&
            r[0] >= kLegendLeft && r[0] < kLegendLeft + kLegendColumns) {
            columns[r[0] - kLegendLeft] = colour;
        }
    }
    ASSERT_EQ(columns.size(), 256u);
    EXPECT_EQ(columns[0], (Rgb{0, 0, 255}));      // blue: quiet
    EXPECT_EQ(columns[64], (Rgb{0, 255, 255}));   // cyan
    EXPECT_EQ(columns[128], (Rgb{0, 255, 0}));    // green
    EXPECT_EQ(columns[192], (Rgb{255, 255, 0}));  // yellow
    EXPECT_EQ(columns[255], (Rgb{255, 3, 0}));    // red: loud
    for (int i = 0; i < 256; ++i) EXPECT_EQ(columns[i], levelColour(4 * i)) << i;
    // The dB of the band boundaries under the strip, the band numbers in it.
    const std::vector<std::string> marks = texts(c, kLegendTop + kLegendHeight + 4);
    EXPECT_EQ(marks, (std::vector<std::string>{"-63.0", "-48.0", "-33.0", "-18.0", "-3.0"}));
    const std::vector<std::string> inStrip = texts(c, kLegendTop);
    EXPECT_EQ(std::count(inStrip.begin(), inStrip.end(), "level [dB]"), 1);
    for (const char* n : {"1", "2", "3", "4"}) {
        EXPECT_EQ(std::count(inStrip.begin(), inStrip.end(), n), 1) << n;
    }
}

TEST(Legend, DrawnInBothWindowsAndEveryMode) {
    const std::string text =
        test::peakFileText(-3, -63, 10, 300, "a.wav", {{70, {{440.0f, -3.0f}}}});
    for (PlotKind kind : {PlotKind::Peaks, PlotKind::LinkedPeaks}) {
        for (int mode = 0; mode <= 4; ++mode) {
            RecordingCanvas c = draw(text, kind, mode);
            EXPECT_TRUE(c.has("fill 800 616 801 628")) << mode;
            EXPECT_TRUE(c.has("fill 1055 616 1056 628")) << mode;
        }
    }
}

TEST(Legend, DecibelsWithOneDecimalAndAPoint) {
    EXPECT_EQ(formatDecibels(-63.0), "-63.0");
    EXPECT_EQ(formatDecibels(-0.01), "0.0");
    EXPECT_EQ(formatDecibels(1.25e3), "1250.0");
}

// --- The piano roll ----------------------------------------------------------

// A canvas of pixels for the piano roll's geometry.
struct PixelCanvas : PlotCanvas {
    std::vector<Rgb> px = std::vector<Rgb>(kPlotWidth * kPlotHeight, Rgb{255, 255, 255});
    std::vector<std::string> words;
    Rgb at(int x, int y) const { return px[static_cast<size_t>(y) * kPlotWidth + x]; }
    void fill(int l, int t, int r, int b, Rgb c) override {
        for (int y = std::max(t, 0); y < std::min(b, kPlotHeight); ++y)
            for (int x = std::max(l, 0); x < std::min(r, kPlotWidth); ++x) pixel(x, y, c);
    }
    void rectangle(int l, int t, int r, int b) override {
        fill(l, t, r, b, {0, 0, 0});
        fill(l + 1, t + 1, r - 1, b - 1, {255, 255, 255});
    }
    void ellipse(int, int, int, int) override {}
    void pixel(int x, int y, Rgb c) override {
        if (x >= 0 && y >= 0 && x < kPlotWidth && y < kPlotHeight)
            px[static_cast<size_t>(y) * kPlotWidth + x] = c;
    }
    void line(int, int, int, int) override {}
    void dottedLine(int, int, int, int) override {}
    void text(int, int, const std::string& t, PlotFont) override { words.push_back(t); }
};

std::string score(const std::string& notes) {
    return "tracks 2\n\ntrack{\n0   tempo 120\n0   rhythm 4 / 4\n}\n\ntrack{\n0   tone 1\n" +
           notes + "}\n";
}

// The score of a text that must be read.
RollScore readScore(std::string_view text) {
    Result<RollScore> s = readRollScore(text);
    EXPECT_TRUE(s.ok()) << s.message();
    return s ? std::move(*s) : RollScore{};
}

TEST(PianoRollScore, ReadsTheNoteFinderLayout) {
    const RollScore s =
        readScore(score("100   a-3 90\n"
                        "0   c#4 20\n"
                        "500   a-3 0\n"
                        "200   c#4 0\n"));
    ASSERT_EQ(s.notes.size(), 2u);
    EXPECT_EQ(s.notes[0].key, 69);  // A4
    EXPECT_EQ(s.notes[0].startMs, 100);
    EXPECT_EQ(s.notes[0].endMs, 600);
    EXPECT_EQ(s.notes[0].velocity, 90);
    EXPECT_EQ(s.notes[0].track, 1);
    EXPECT_EQ(s.notes[1].key, 73);  // (4 + 2) * 12 + 0 + 1
    EXPECT_EQ(s.notes[1].startMs, 100);
    EXPECT_EQ(s.notes[1].endMs, 800);
    EXPECT_EQ(s.endMs, 800);
}

TEST(PianoRollScore, AnyLayoutOfTheWordsAndLooseEnds) {
    // One line; a note still sounding at "}" lasts to the block's last time;
    // an end without a note is passed over; velocities above 127 count as 127.
    RollScore s = readScore("tracks 1 track{ 0 e-3 200 50 b-2 0 30 tempo 90 }");
    ASSERT_EQ(s.notes.size(), 1u);
    EXPECT_EQ(s.notes[0].key, 64);
    EXPECT_EQ(s.notes[0].endMs, 80);
    EXPECT_EQ(s.notes[0].velocity, 127);
    s = readScore("tracks 0");
    EXPECT_TRUE(s.notes.empty());
}

TEST(PianoRollScore, BrokenScoresAreRefusedWithAReason) {
    const std::string longWord(300, '7');
    const std::pair<std::string, std::string> cases[] = {
        {"", "empty"},
        {"track 2", "does not begin with \"tracks\""},
        {"tracks two", "number of tracks"},
        {"tracks 300", "number of tracks"},
        {"tracks 2\ntrack{\n}\n", "ends where \"track{\" in track 2 should follow"},
        {"tracks 1 trak{ }", "does not begin with \"track{\""},
        {"tracks 1 track{ 0 tempo 120", "ends where a time or \"}\" in track 1"},
        {"tracks 1 track{ 0 h-3 90 }", "\"h-3\" is neither"},
        {"tracks 1 track{ 0 A-3 90 }", "\"A-3\" is neither"},
        {"tracks 1 track{ 0 a-3 -5 }", "velocity \"-5\""},
        {"tracks 1 track{ 0 a-3 }", "velocity \"}\""},
        {"tracks 1 track{ 0 g-9 90 }", "above the MIDI keys"},
        {"tracks 1 track{ 10 }", "\"}\" is neither"},
        {"tracks 1 track{ -10 a-3 1 }", "\"-10\" is not a time"},
        {"tracks 1 track{ 99999999999 a-3 1 }", "is not a time"},
        {"tracks 1 track{ 0 tempo fast }", "tempo \"fast\""},
        {"tracks 1 track{ 0 rhythm 4 - 4 }", "where \"/\" belongs"},
        {"tracks 1 track{ 0 rhythm 3 / 5 }", "power of two"},
        {"tracks 1 track{ 0 tone 129 }", "program \"129\""},
        {"tracks 1 track{ 0 a-3 1 } more", "text after the last track"},
        {"tracks 1 track{ " + longWord + " a-3 1 }", "longer than 255 bytes"},
    };
    for (const auto& [text, why] : cases) {
        const Result<RollScore> s = readRollScore(text);
        EXPECT_FALSE(s.ok()) << text;
        EXPECT_NE(s.message().find(why), std::string::npos) << text << " -> " << s.message();
    }
    const Result<RollScore> s = readRollScore("tracks 1\ntrack{\n0   tempo 120\n0   x-3 9\n}\n");
    EXPECT_EQ(s.message().rfind("line 4: ", 0), 0u) << s.message();
}

TEST(PianoRollScore, FilesThatCannotBeReadSayWhy) {
    Result<RollScore> s = readRollScoreFile("/nonexistent/a.wav.txt");
    EXPECT_EQ(s.code<RollScoreError>(), RollScoreError::CannotOpen);
    EXPECT_EQ(s.message(), "No such file or directory");
    PixelCanvas c;
    EXPECT_EQ(drawPianoRollFiles("/nonexistent/a.wav.txt", "", c).message(),
              "オープンエラー: /nonexistent/a.wav.txt\nNo such file or directory");
    test::TempDir dir;
    test::writeFile(dir.file("bad.txt"), "tracks 1 track{ 0 zz 1 }");
    s = readRollScoreFile(dir.file("bad.txt"));
    EXPECT_EQ(s.code<RollScoreError>(), RollScoreError::Unreadable);
    EXPECT_NE(s.message().find("\"zz\""), std::string::npos);
    const Status drawn = drawPianoRollFiles(dir.file("bad.txt"), "", c);
    EXPECT_EQ(drawn.message().rfind(dir.file("bad.txt") + ": line 1: ", 0), 0u) << drawn.message();
    EXPECT_TRUE(c.words.empty());  // nothing drawn
}

TEST(PianoRoll, KeyNamesAsMusiciansNameThem) {
    EXPECT_EQ(keyName(60), "C4");
    EXPECT_EQ(keyName(61), "C#4");
    EXPECT_EQ(keyName(69), "A4");
    EXPECT_EQ(keyName(24), "C1");
    EXPECT_EQ(keyName(0), "C-1");
    EXPECT_EQ(keyName(127), "G9");
}

TEST(PianoRoll, LayoutOfWholeOctavesAndTheTimeAcross) {
    const RollScore s = readScore(score("1000   c-3 64\n1000   c-3 0\n"));
    RollLayout l = rollLayout(s);
    EXPECT_EQ(l.lowKey, 60);
    EXPECT_EQ(l.highKey, 71);
    EXPECT_EQ(l.spanMs, 2000);
    EXPECT_EQ(rollColumn(0, l), 81);
    EXPECT_EQ(rollColumn(1000, l), 581);
    EXPECT_EQ(rollColumn(2000, l), 1081);
    EXPECT_EQ(rollColumn(5000, l), 1081);
    // 12 keys in the 550 rows inside the frame, the lowest at the bottom;
    // the rows meet.
    EXPECT_EQ(rollRowBottom(60, l), 570);
    EXPECT_EQ(rollRowTop(60, l), 571 - 550 / 12);
    for (int k = 61; k <= 71; ++k) EXPECT_EQ(rollRowBottom(k, l), rollRowTop(k - 1, l) - 1) << k;
    EXPECT_EQ(rollRowTop(71, l), 21);
    // A4 in the middle of its row; far pitches outside.
    EXPECT_NEAR(rollFrequencyRow(440.0, l), (rollRowTop(69, l) + rollRowBottom(69, l)) / 2.0, 1.0);
    EXPECT_EQ(rollFrequencyRow(100.0, l), -1);
    EXPECT_EQ(rollFrequencyRow(0.0, l), -1);
    EXPECT_EQ(rollLayout(RollScore{}).lowKey, 48);
    EXPECT_EQ(rollLayout(s, 60000).spanMs, 60000);
}

TEST(PianoRoll, EachNoteIsABarAtItsRowsAndColumns) {
    // C4 from 1 s to 2 s at velocity 64; B5 from 0 to 0.5 s at 127.
    const RollScore s = readScore(score("0   b-4 127\n500   b-4 0\n500   c-3 64\n1000   c-3 0\n"));
    PixelCanvas c;
    drawPianoRoll(s, nullptr, c);
    const RollLayout l = rollLayout(s);
    ASSERT_EQ(l.lowKey, 60);
    ASSERT_EQ(l.highKey, 83);
    const Rgb green{0, 255, 0}, red{255, 7, 0}, black{0, 0, 0}, white{255, 255, 255};
    // C4: columns 581 to 1080, rows 549 to 569 (the row's bottom line free).
    EXPECT_EQ(rollRowTop(60, l), 549);
    EXPECT_EQ(c.at(700, 560), green);
    EXPECT_EQ(c.at(582, 550), green);
    EXPECT_EQ(c.at(1079, 568), green);
    EXPECT_EQ(c.at(581, 560), black);   // outline
    EXPECT_EQ(c.at(1080, 560), black);  // outline
    EXPECT_EQ(c.at(700, 549), black);
    EXPECT_EQ(c.at(700, 569), black);
    EXPECT_EQ(c.at(580, 560), white);   // before the note
    EXPECT_EQ(c.at(700, 570), white);   // the free line
    EXPECT_EQ(c.at(700, 571), black);   // the frame
    EXPECT_EQ(c.at(1081, 560), black);  // the frame
    // B5: columns 81 to 330, rows 21 to 42.
    EXPECT_EQ(c.at(200, 30), red);
    EXPECT_EQ(c.at(82, 22), red);
    EXPECT_EQ(c.at(329, 41), red);
    EXPECT_NE(c.at(331, 30), red);
    EXPECT_NE(c.at(200, 44), red);
    // A black key's row is shaded, a white key's is not.
    EXPECT_EQ(c.at(300, (rollRowTop(61, l) + rollRowBottom(61, l)) / 2), (Rgb{240, 240, 240}));
    EXPECT_EQ(c.at(300, (rollRowTop(62, l) + rollRowBottom(62, l)) / 2), white);
    // The Cs named, the seconds numbered, the velocities in the key.
    for (const char* w : {"C4", "C5", "1", "velocity", "127", "Key", "Time [sec]"}) {
        EXPECT_NE(std::find(c.words.begin(), c.words.end(), w), c.words.end()) << w;
    }
    EXPECT_EQ(c.at(kLegendLeft + 128, kLegendTop + 5), green);
}

TEST(PianoRoll, OverThePeaksTheBarsAreHollowAndThePeaksInTheirColours) {
    test::TempDir dir;
    // A4 peaks in every frame for 3 s, the loudest at -3 dB.
    std::vector<test::RecordRows> recs;
    for (int i = 1; i <= 300; ++i) recs.push_back({i * 10, {{440.0f, -3.0f}, {60.0f, -3.0f}}});
    test::writeFile(dir.file("SpecScan.txt"), test::peakFileText(-3, -63, 10, 300, "a.wav", recs));
    test::writeFile(dir.file("a.wav.txt"), score("1000   a-3 64\n1000   a-3 0\n"));
    PixelCanvas c;
    const Status drawn = drawPianoRollFiles(dir.file("a.wav.txt"), dir.file("SpecScan.txt"), c);
    ASSERT_TRUE(drawn.ok()) << drawn.message();
    const Result<RollScore> s = readRollScoreFile(dir.file("a.wav.txt"));
    ASSERT_TRUE(s.ok());
    RollLayout l = rollLayout(*s, 3010);  // the peaks' time is longer
    const int y = rollFrequencyRow(440.0, l);
    ASSERT_GT(y, 0);
    const Rgb yellow{255, 255, 0};    // -3 dB is MaxdB: v = 1024
    EXPECT_EQ(c.at(100, y), yellow);  // before the note
    EXPECT_EQ(c.at(900, y), yellow);  // after it
    // Inside the bar the peaks show through; its edge has the velocity's colour.
    const int x = (rollColumn(1000, l) + rollColumn(2000, l)) / 2;
    EXPECT_EQ(c.at(x, y), yellow);
    EXPECT_EQ(c.at(x, rollRowTop(69, l)), (Rgb{0, 0, 0}));
    EXPECT_EQ(c.at(x, rollRowTop(69, l) + 1), (Rgb{0, 255, 0}));
    // The peaks' dB over the key.
    for (const char* w : {"peaks [dB]", "-63.0", "-3.0", "velocity"}) {
        EXPECT_NE(std::find(c.words.begin(), c.words.end(), w), c.words.end()) << w;
    }
    // A missing peak list is an open error, nothing drawn.
    PixelCanvas none;
    EXPECT_EQ(drawPianoRollFiles(dir.file("a.wav.txt"), dir.file("none.txt"), none).message(),
              "オープンエラー: " + dir.file("none.txt") + "\nNo such file or directory");
    EXPECT_TRUE(none.words.empty());
}

TEST(PianoRoll, APeakListLongerThanItsHeaderSaysStillFits) {
    test::TempDir dir;
    // The header says 10 frames; the records run to 100 s.
    std::vector<test::RecordRows> recs;
    for (int i = 1; i <= 10000; ++i) recs.push_back({i * 10, {{440.0f, -3.0f}}});
    test::writeFile(dir.file("p.txt"), test::peakFileText(-3, -63, 10, 10, "a.wav", recs));
    const RollScore s = readScore(score("0   a-3 64\n1000   a-3 0\n"));
    const Result<PeakOverlay> read = readPeakOverlay(dir.file("p.txt"), rollLayout(s));
    ASSERT_TRUE(read.ok()) << read.message();
    const PeakOverlay& o = *read;
    EXPECT_EQ(o.spanMs, 100010);
    EXPECT_LE(o.bins, 4096);
    PixelCanvas c;
    drawPianoRoll(s, &o, c);
    const RollLayout l = rollLayout(s, o.spanMs);
    EXPECT_EQ(c.at(1079, rollFrequencyRow(440.0, l)), (Rgb{255, 255, 0}));
}

TEST(PianoRoll, ALongScoreDrawsEveryNote) {
    // Half an hour, a note every 90 ms.
    std::string notes;
    const int count = 20000;
    for (int i = 0; i < count; ++i) notes += "0   c-3 100\n80   c-3 0\n10   e-3 0\n";
    const RollScore s = readScore(score(notes));
    EXPECT_EQ(s.notes.size(), static_cast<size_t>(count));
    EXPECT_EQ(s.endMs, 90LL * count);
    RecordingCanvas c;
    drawPianoRoll(s, nullptr, c);
    // The last note's bar ends at the frame's right side.
    const std::string last = "fill " + std::to_string(rollColumn(90LL * count - 90, rollLayout(s)));
    EXPECT_GT(c.count(last), 0);
}

}  // namespace
}  // namespace sonvola
