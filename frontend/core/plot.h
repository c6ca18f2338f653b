// The peak plots, independent of any window system: the file reading, the
// positions and colours, and the drawing through a small canvas interface.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace sonvola {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

enum class PlotFont { A, B, C };  // A: 32 x 8 pixels; B: Arial 20 pt rotated; C: Arial 20 pt

// What the plots draw with. The default pen is black, solid, width 1, the
// default brush white.
class PlotCanvas {
  public:
    virtual ~PlotCanvas() = default;
    virtual void fill(int left, int top, int right, int bottom, Rgb colour) = 0;
    virtual void rectangle(int left, int top, int right,
                           int bottom) = 0;  // pen outline, brush fill
    virtual void ellipse(int left, int top, int right, int bottom) = 0;
    virtual void pixel(int x, int y, Rgb colour) = 0;
    virtual void line(int x0, int y0, int x1, int y1) = 0;        // the last point not drawn
    virtual void dottedLine(int x0, int y0, int x1, int y1) = 0;  // black dots, width 1
    virtual void text(int x, int y, const std::string& text, PlotFont font) = 0;  // top-left corner
};

// A word of the file: white space skipped, then up to 1024 characters; the
// character that ended the word (or the 1025th) is put back. Empty at the end.
std::string readPlotWord(std::FILE* file);

struct PlotHeader {
    double MaxdB = 0.0;
    double MindB = 0.0;
    int32_t FrameRate = 0;
    int32_t LoopCount = 0;
};

// Reads the header as the plot windows do: four words, then
// "\n%s %d %s %d\n", then the rest of the signal name line.
PlotHeader readPlotHeader(std::FILE* file);

// Row of a frequency: trunc(572.0 - f * 0.1001360544217687).
int plotRow(double frequencyHz);

// The pixel columns of frame column c: one column above 1000 frames, else
// n + 1 columns (n = 1000 div LoopCount). Returns the count written to `xs`
// (at most 1001); 0 when LoopCount is not positive.
int plotColumns(int64_t c, int32_t loopCount, int* xs);

// v = trunc((L - MindB) * 1024 / (range * 10) * 10), held within the int range.
int levelValue(double level, double mindB, double maxdB);
Rgb levelColour(int v);
// Whether a band shows in a mode (0 to 4).
bool bandVisible(int v, int mode);

enum class PlotKind { Peaks = 1, LinkedPeaks = 2 };

// Draws a whole picture from an open file (positioned at its start).
void drawPeakPlot(std::FILE* file, int mode, PlotCanvas& canvas);
void drawLumpPlot(std::FILE* file, int mode, PlotCanvas& canvas);

// Opens `path` and draws; false (nothing drawn) when it cannot be opened.
bool drawPlotFile(const std::string& path, PlotKind kind, int mode, PlotCanvas& canvas);

// The picture's extent: everything is drawn within it.
inline constexpr int kPlotWidth = 1100;
inline constexpr int kPlotHeight = 650;

}  // namespace sonvola
