// The notes of a score text as a piano roll, independent of any window
// system: time in seconds across, one row per MIDI key up the picture, one
// bar per note in the colour of its velocity, optionally over the peaks of a
// peak list. It draws through the PlotCanvas of the peak plots, into the same
// 1100 x 650 picture with the same frame (80, 20) - (1082, 572).
//
// The score is read strictly, as the note finder writes it:
//
//   tracks 2
//   track{
//   0   tempo 120
//   0   rhythm 4 / 4
//   }
//   track{
//   0   tone 1
//   100   a-3 90        <- ms since the previous line, note name, velocity
//   500   a-3 0         <- velocity 0 ends the note
//   }
//
// Anything else (a missing or misspelt word, a number out of range, a word
// longer than 255 bytes, text after the last block) refuses the score with a
// reason that names the line.
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/core/plot.h"

namespace sonvola {

struct RollNote {
    int64_t startMs = 0;
    int64_t endMs = 0;  // at least startMs
    int key = 0;        // MIDI key, 0 to 127 (60 is C4)
    int velocity = 0;   // 1 to 127; larger velocities of the text count as 127
    int track = 0;      // the block it stands in, from 0
};

struct RollScore {
    std::vector<RollNote> notes;  // by start time, then by key
    int64_t endMs = 0;            // the time of the last line of any block
};

// Largest score file the reader takes in.
inline constexpr int64_t kMaxScoreBytes = 256LL * 1024 * 1024;
// Longest score: about 31 years; longer ones are refused, so that every time
// fits the picture's arithmetic.
inline constexpr int64_t kMaxScoreMs = 1000000000000LL;

// The score of a text, or the reason it is refused (beginning "line N: "
// where a line is to blame). A note still sounding when its block ends lasts
// to the block's last line; an end without a sounding note of that key is
// passed over.
Result<RollScore> readRollScore(std::string_view text);

// How reading a score file failed: the code of its Status.
enum class RollScoreError {
    None,
    CannotOpen,  // the message is the system's word
    Unreadable   // opened, but not read or refused by readRollScore
};
// The same from a file; the reason is the system's word when it cannot be
// opened or read.
Result<RollScore> readRollScoreFile(const std::string& path);

// "C4" for key 60, "C#4" for 61, "C-1" for 0.
std::string keyName(int key);

// Where things go: keys lowKey..highKey (whole octaves C to B, within 0 and
// 127) share the 550 rows inside the frame (21 to 570), the lowest key at
// the bottom; spanMs ms share its 1000 columns (81 to 1080).
struct RollLayout {
    int lowKey = 48;
    int highKey = 83;
    int64_t spanMs = 1000;
};

// The layout of a score (C3 to B5 when it has no notes) over the time of its
// last line or `minSpanMs`, whichever is longer (1 s at least).
RollLayout rollLayout(const RollScore& score, int64_t minSpanMs = 0);
// Column of a time: 81 + t * 1000 / spanMs, t held within 0..spanMs (so the
// end of the span is the frame's right line, 1081).
int rollColumn(int64_t ms, const RollLayout& layout);
// Top and bottom picture row (both inside) of a key's row.
int rollRowTop(int key, const RollLayout& layout);
int rollRowBottom(int key, const RollLayout& layout);
// Picture row of a frequency: the middle of its key's row at the key's own
// pitch, in between for pitches in between; -1 outside the layout's keys.
int rollFrequencyRow(double frequencyHz, const RollLayout& layout);
// The level value whose colour a velocity gets: velocity * 8, so 64 is
// green and 127 nearly red.
int velocityValue(int velocity);

// The peaks of a peak list, gathered for drawing under the notes: per time
// bin and picture row the largest level value (coloured as plot window 1
// colours it). The rows are those of the keys lowKey..highKey it was read for.
struct PeakOverlay {
    static constexpr int kNoPeak = INT_MIN;
    static constexpr int kRows = 550;  // picture rows 21 to 570
    double maxdB = 0.0;
    double mindB = 0.0;
    int lowKey = 0;
    int highKey = 0;
    int64_t spanMs = 0;  // where the last record ends
    int64_t binMs = 1;
    int64_t bins = 0;
    std::vector<int> values;  // bins * kRows, bin after bin
};

// Reads the peak list at `path` for the keys of `layout`. At most a few
// thousand bins are kept, however long the list. Fails with the system's
// word when it cannot be opened.
Result<PeakOverlay> readPeakOverlay(const std::string& path, const RollLayout& layout);

// Draws the whole picture: frame, shaded rows of the black keys, a dotted
// line under every C, the peaks, the bars, the seconds, the key names and
// the colour key. A bar covers columns [rollColumn(start), rollColumn(end))
// (one at least) and its key's row, less the row's bottom line when the row
// is at least 4 high; it is filled in the velocity's colour inside a black
// outline, or, over peaks, keeps only the outline and a coloured line along
// its top and bottom inside it, so that the peaks under it stay visible.
// `peaks` is optional; it must have been read for the keys of this score.
void drawPianoRoll(const RollScore& score, const PeakOverlay* peaks, PlotCanvas& canvas);

// Everything from files: the score, and the peaks when `peakPath` is not
// empty (the time axis then covers both). Fails with the message
// sonvola-plot prints, nothing drawn, when either cannot be read.
Status drawPianoRollFiles(const std::string& scorePath, const std::string& peakPath,
                          PlotCanvas& canvas);

}  // namespace sonvola
