// The peak plots, independent of any window system: the file reading, the
// positions and colours, and the drawing through a small canvas interface.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "common/status.h"

namespace sonvola {

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

// A: the axis numbers, each character in a cell 32 pixels high and 8 wide
// (the text's top-left corner is the cell's); B: Arial 20 pt rotated a
// quarter turn counter-clockwise; C: Arial 20 pt; Small: the colour key and
// the note names of the piano roll, about 12 pixels high.
enum class PlotFont { A, B, C, Small };

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
    // Width of a text in pixels, for texts placed by their centre or right
    // end. A canvas that cannot measure guesses 7 pixels a character.
    virtual int textWidth(const std::string& text, PlotFont /*font*/) {
        return 7 * static_cast<int>(text.size());
    }
};

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

// Whether frame h gets a time tick: (FrameRate * h) mod 1000 = 0, so a
// FrameRate of 0 puts a tick (labelled 0) at every frame.
bool timeTickAt(int64_t h, int32_t frameRate);

enum class PlotKind { Peaks = 1, LinkedPeaks = 2 };

// The file each kind draws, in the work directory.
const char* plotFileName(PlotKind kind);

// Draws a whole picture from an open file (positioned at its start). The
// header is read as the stages read it (readPeakHeaderValues); the records
// word by word, words of up to 1024 bytes, drawing what there is of a file
// that ends early.
void drawPeakPlot(std::FILE* file, int mode, PlotCanvas& canvas);
void drawLumpPlot(std::FILE* file, int mode, PlotCanvas& canvas);

// Opens `path` and draws; fails (nothing drawn) when it cannot be opened,
// with the system's word for the cause.
Status drawPlotFile(const std::string& path, PlotKind kind, int mode, PlotCanvas& canvas);

// The picture's extent: everything is drawn within it.
inline constexpr int kPlotWidth = 1100;
inline constexpr int kPlotHeight = 650;

// The colour key, in the free margin under the right half of the frame
// (right of "Time [sec]", below the time numbers): a strip of 256 columns,
// column i in the colour of level value 4 i, so the four bands of 64 columns
// each run blue - cyan - green - yellow - red from left to right. Black
// outline, a mark under each band boundary and the five texts of `below`
// centred under the marks; `above` (optional) likewise over the strip. The
// captions stand left of the strip, right-aligned.
inline constexpr int kLegendLeft = 800;
inline constexpr int kLegendTop = 616;
inline constexpr int kLegendColumns = 256;
inline constexpr int kLegendHeight = 12;

struct LegendTexts {
    std::string caption;
    std::string marks[5];  // at values 0, 256, 512, 768 and 1024
};

// `bandNumbers` writes 1 to 4 into the bands, the numbers of the buttons
// that show a band and those above it.
void drawLevelLegend(PlotCanvas& canvas, const LegendTexts& below, const LegendTexts* above,
                     bool bandNumbers);

// A level in dB as the key writes it: one decimal, a point whatever the locale.
std::string formatDecibels(double dB);

}  // namespace sonvola
