#include "frontend/core/plot.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "common/numbers.h"
#include "common/peakfile.h"
#include "common/tokenreader.h"

namespace sonvola {

namespace {

// Truncation toward zero, far-away values held off the picture.
int clampToInt(double v) {
    if (!(v > -1e6)) return -1000000;
    if (!(v < 1e6)) return 1000000;
    return static_cast<int>(v);
}

// The plots take words of up to 1024 bytes; a longer one is read as pieces
// of that length.
constexpr size_t kPlotWordBytes = 1024;

// The next word of the file; empty at the end.
std::string_view nextWord(TokenReader& in) {
    return in.next() == TokenReader::Got::End ? std::string_view() : in.token();
}

// The value of a word nextWord gave (a view of the reader's NUL-terminated
// word while no other is read); 0 for the empty word at the end.
double valueOf(std::string_view word) {
    return word.empty() ? 0.0 : parseLenientDouble(word.data(), word.size());
}

void drawFrameAndLabels(PlotCanvas& canvas) {
    canvas.fill(0, 0, kPlotWidth, kPlotHeight, {255, 255, 255});
    canvas.rectangle(80, 20, 1082, 572);
    const char* labels[] = {"5", "4", "3", "2", "1"};
    for (int i = 0; i < 5; ++i) canvas.text(65, 57 + 100 * i, labels[i], PlotFont::A);
    canvas.text(10, 410, "Frequency [kHz]", PlotFont::B);
    canvas.text(501, 610, "Time [sec]", PlotFont::C);
}

void drawPeak(PlotCanvas& canvas, double f, double level, int64_t column, const PeakHeaderValues& h,
              int mode) {
    const int v = levelValue(level, h.mindB, h.maxdB);
    if (!bandVisible(v, mode)) return;
    int xs[1001];
    const int n = plotColumns(column, h.loopCount, xs);
    const int y = plotRow(f);
    const Rgb colour = levelColour(v);
    for (int i = 0; i < n; ++i) canvas.pixel(xs[i], y, colour);
}

// The last tick's number and where it went: a tick that lands on the same
// pixel column with the same number (more frames than columns) leaves its
// number as it is instead of writing it once more.
struct TickText {
    int64_t x = INT64_MIN;
    long long seconds = 0;
};

void drawTick(PlotCanvas& canvas, int64_t h, const PeakHeaderValues& header, TickText& last) {
    const int64_t xt = (1001 * h) / header.loopCount + 80;
    canvas.line(static_cast<int>(xt), 571, static_cast<int>(xt), 562);
    // Whole seconds; a header's frame shift and count can make them exceed 32 bits.
    const long long seconds = static_cast<long long>(static_cast<double>(header.frameRate) *
                                                     static_cast<double>(h) * 0.001);
    if (xt == last.x && seconds == last.seconds) return;
    last = {xt, seconds};
    canvas.text(static_cast<int>(xt - 5), 572, std::to_string(seconds), PlotFont::A);
}

void drawGrid(PlotCanvas& canvas) {
    for (int y : {72, 172, 272, 372, 472}) canvas.dottedLine(81, y, 1081, y);
}

// The key of the peak plots: the dB of the band boundaries.
void drawPeakLegend(PlotCanvas& canvas, const PeakHeaderValues& h) {
    LegendTexts below;
    below.caption = "level [dB]";
    const double range = h.maxdB - h.mindB;
    for (int j = 0; j < 5; ++j) below.marks[j] = formatDecibels(h.mindB + range * j / 4.0);
    drawLevelLegend(canvas, below, nullptr, true);
}

}  // namespace

int plotRow(double f) {
    return clampToInt(572.0 - f * 0.1001360544217687);
}

int plotColumns(int64_t c, int32_t loopCount, int* xs) {
    if (loopCount <= 0) return 0;
    if (loopCount > 1000) {
        xs[0] = static_cast<int>((1000 * c) / loopCount + 81);
        return 1;
    }
    const int n = 1000 / loopCount;
    for (int j = 0; j <= n; ++j) xs[j] = static_cast<int>(((1000 - n) * c) / loopCount + 81 + j);
    return n + 1;
}

int levelValue(double level, double mindB, double maxdB) {
    const double range = maxdB - mindB;
    const double scale = 1024.0 / (range * 10.0);
    const double v = (level - mindB) * scale * 10.0;
    // An empty range divides by zero: such a picture shows every peak at one end.
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return INT_MAX;
    if (v <= -2147483648.0) return INT_MIN;
    return static_cast<int>(v);
}

Rgb levelColour(int v) {
    if (v >= 768) return {255, (1023 - v) & 0xFF, 0};
    if (v >= 512) return {v - 512, 255, 0};
    if (v >= 256) return {0, 255, 511 - v};
    return {0, v & 0xFF, 255};
}

bool timeTickAt(int64_t h, int32_t frameRate) {
    return (static_cast<int64_t>(frameRate) * h) % 1000 == 0;
}

const char* plotFileName(PlotKind kind) {
    return kind == PlotKind::Peaks ? "SpecScan.txt" : "TrackJoin.txt";
}

std::string formatDecibels(double dB) {
    char buf[64];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, dB, std::chars_format::fixed, 1);
    if (ec != std::errc()) return "?";
    std::string text(buf, end);
    return text == "-0.0" ? "0.0" : text;
}

void drawLevelLegend(PlotCanvas& canvas, const LegendTexts& below, const LegendTexts* above,
                     bool bandNumbers) {
    const int left = kLegendLeft, top = kLegendTop;
    const int right = left + kLegendColumns, bottom = top + kLegendHeight;
    const Rgb black{0, 0, 0};
    for (int i = 0; i < kLegendColumns; ++i) {
        canvas.fill(left + i, top, left + i + 1, bottom, levelColour(4 * i));
    }
    canvas.fill(left - 1, top - 1, right + 1, top, black);
    canvas.fill(left - 1, bottom, right + 1, bottom + 1, black);
    canvas.fill(left - 1, top, left, bottom, black);
    canvas.fill(right, top, right + 1, bottom, black);
    const int band = kLegendColumns / 4;
    for (int j = 0; j < 5; ++j) {
        const int x = std::min(left + band * j, right);
        canvas.fill(x, bottom + 1, x + 1, bottom + 4, black);
        if (above) canvas.fill(x, top - 4, x + 1, top - 1, black);
    }
    auto centred = [&](int cx, int y, const std::string& t) {
        if (!t.empty())
            canvas.text(cx - canvas.textWidth(t, PlotFont::Small) / 2, y, t, PlotFont::Small);
    };
    // Right-aligned, clear of the strip and of the first mark of its row.
    auto caption = [&](int y, const std::string& t, const std::string& firstMark) {
        if (t.empty()) return;
        const int end =
            std::min(left - 8, left - canvas.textWidth(firstMark, PlotFont::Small) / 2 - 6);
        canvas.text(end - canvas.textWidth(t, PlotFont::Small), y, t, PlotFont::Small);
    };
    for (int j = 0; j < 5; ++j)
        centred(std::min(left + band * j, right), bottom + 4, below.marks[j]);
    caption(top, below.caption, std::string());
    if (above) {
        for (int j = 0; j < 5; ++j)
            centred(std::min(left + band * j, right), top - 17, above->marks[j]);
        caption(top - 17, above->caption, above->marks[0]);
    }
    if (bandNumbers) {
        for (int j = 0; j < 4; ++j) centred(left + band * j + band / 2, top, std::to_string(j + 1));
    }
}

bool bandVisible(int v, int mode) {
    if (v >= 768) return true;
    if (v >= 512) return mode <= 3;
    if (v >= 256) return mode <= 2;
    return mode <= 1;
}

void drawPeakPlot(std::FILE* file, int mode, PlotCanvas& canvas) {
    TokenReader in(file, kPlotWordBytes);
    const PeakHeaderValues h = readPeakHeaderValues(in);
    drawFrameAndLabels(canvas);
    nextWord(in);  // the rule line
    TickText ticks;
    if (h.loopCount > 1) {
        for (int64_t rec = 1; rec < h.loopCount; ++rec) {
            if (nextWord(in).empty()) break;  // the label; the file ends early
            std::string_view word = nextWord(in);
            while (!word.empty() && word != "end") {
                const double f = valueOf(word);
                const double level = valueOf(nextWord(in));
                drawPeak(canvas, f, level, rec, h, mode);
                word = nextWord(in);
            }
            if (timeTickAt(rec, h.frameRate)) drawTick(canvas, rec, h, ticks);
            if (word.empty()) break;
        }
    }
    drawGrid(canvas);
    drawPeakLegend(canvas, h);
}

void drawLumpPlot(std::FILE* file, int mode, PlotCanvas& canvas) {
    TokenReader in(file, kPlotWordBytes);
    const PeakHeaderValues h = readPeakHeaderValues(in);
    drawFrameAndLabels(canvas);
    nextWord(in);  // the rule line
    double f = 0.0;
    for (;;) {
        const std::string_view label = nextWord(in);
        if (label.empty() || label == "end_of_file") break;
        const int64_t start =
            h.frameRate != 0 ? parseLenientInt(std::string(label).c_str()) / h.frameRate : 0;
        int64_t c = start;
        std::string_view word = nextWord(in);
        const double f0 = std::trunc(word == "end" ? 0.0 : valueOf(word));
        while (!word.empty() && word != "end") {
            f = valueOf(word);
            const double level = valueOf(nextWord(in));
            drawPeak(canvas, f, level, c, h, mode);
            ++c;
            word = nextWord(in);
        }
        if (mode == 0 && h.loopCount > 0) {
            const int64_t xs = (1000 * start) / h.loopCount;
            const int ys = clampToInt(572.0 - (552 * f0) * 0.00018140589569160998);
            canvas.ellipse(static_cast<int>(xs + 77), ys - 2, static_cast<int>(xs + 81), ys + 2);
            const int64_t xe = (1000 * c - 1000) / h.loopCount;
            const int ye = plotRow(f);
            canvas.rectangle(static_cast<int>(xe + 81), ye - 2, static_cast<int>(xe + 85), ye + 2);
        }
        if (word.empty()) break;
    }
    if (h.loopCount > 0 && h.frameRate > 0) {
        // Ticks fall where FrameRate * t is a whole second.
        int64_t a = h.frameRate, b = 1000;
        while (b != 0) {
            const int64_t r = a % b;
            a = b;
            b = r;
        }
        int64_t step = 1000 / a;
        // A header with more ticks than the frame has pixels draws every
        // so many of them: the picture stays readable and the drawing short.
        while (h.loopCount / step > 2000) step *= 2;
        TickText ticks;
        for (int64_t t = step; t < h.loopCount; t += step) drawTick(canvas, t, h, ticks);
    }
    drawGrid(canvas);
    drawPeakLegend(canvas, h);
}

Status drawPlotFile(const std::string& path, PlotKind kind, int mode, PlotCanvas& canvas) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return Status::error(std::strerror(errno != 0 ? errno : ENOENT));
    if (kind == PlotKind::Peaks) {
        drawPeakPlot(f, mode, canvas);
    } else {
        drawLumpPlot(f, mode, canvas);
    }
    std::fclose(f);
    return {};
}

}  // namespace sonvola
