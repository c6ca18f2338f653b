#include "frontend/core/pianoroll.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>

#include "common/numbers.h"
#include "common/peakfile.h"
#include "common/scoretext.h"
#include "common/tokenreader.h"

namespace sonvola {

namespace {

constexpr size_t kMaxWordBytes = 255;
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kBlackKeyShade{240, 240, 240};
// Inside the frame, whose own lines are columns 80 and 1081 and rows 20
// and 571: columns kLeft to kRight - 1, rows kTop to kBottom.
constexpr int kLeft = 81, kRight = 1081, kTop = 21, kBottom = 570;

// The words of a score and the line each stands on.
class ScoreWords {
  public:
    explicit ScoreWords(std::string_view text) : in_(text, kMaxWordBytes) {}

    // False at the end of the text (`word` then stays as it was); a word
    // longer than kMaxWordBytes comes cut, with `tooLong` set.
    bool next(std::string_view& word, bool& tooLong) {
        const TokenReader::Got got = in_.next();
        if (got == TokenReader::Got::End) return false;
        word = in_.token();
        tooLong = got == TokenReader::Got::TooLong;
        return true;
    }
    int line() const { return in_.line(); }

  private:
    TokenReader in_;
};

// A word as the messages show it: in quotes, long ones cut.
std::string shown(std::string_view word) {
    std::string s = "\"";
    s.append(word.substr(0, 40));
    if (word.size() > 40) s += "...";
    return s + "\"";
}

// Digits only (no sign, no blanks), within lo..hi.
bool plainNumber(std::string_view w, int64_t lo, int64_t hi, int64_t& value) {
    if (w.empty() || w.size() > 18) return false;
    int64_t v = 0;
    for (char c : w) {
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    if (v < lo || v > hi) return false;
    value = v;
    return true;
}

// "a-3", "c#4": letter, '-' or '#', octave digit. -1 for anything else.
int noteKey(std::string_view w) {
    if (w.size() != 3) return -1;
    const int semitone = letterSemitone(w[0]);
    if (semitone < 0 || (w[1] != '-' && w[1] != '#') || w[2] < '0' || w[2] > '9') return -1;
    return (w[2] - '0' + 2) * 12 + semitone + (w[1] == '#' ? 1 : 0);
}

struct Reader {
    ScoreWords words;
    std::string error;
    std::string_view word;
    bool tooLong = false;

    bool fail(const std::string& why) {
        error = "line " + std::to_string(words.line()) + ": " + why;
        return false;
    }
    // The next word; refused at the end of the text or when too long.
    bool need(const std::string& what) {
        if (!words.next(word, tooLong)) {
            error = "the score ends where " + what + " should follow";
            return false;
        }
        if (tooLong) {
            return fail("a word longer than " + std::to_string(kMaxWordBytes) + " bytes");
        }
        return true;
    }

    bool block(int index, RollScore& score) {
        const std::string where = " in track " + std::to_string(index + 1);
        if (!need("\"track{\"" + where)) return false;
        if (word != "track{")
            return fail("track " + std::to_string(index + 1) +
                        " does not begin with \"track{\" but with " + shown(word));
        // The notes sounding now, per key, oldest first.
        std::vector<std::deque<std::pair<int64_t, int>>> sounding(128);
        int64_t time = 0;
        for (;;) {
            if (!need("a time or \"}\"" + where)) return false;
            if (word == "}") break;
            int64_t delta = 0;
            if (!plainNumber(word, 0, INT32_MAX, delta)) {
                return fail(shown(word) + " is not a time in ms (0 to " +
                            std::to_string(INT32_MAX) + ") nor \"}\"");
            }
            time += delta;
            if (time > kMaxScoreMs) return fail("the score lasts longer than it can be drawn");
            if (!need("an event after the time" + where)) return false;
            if (word == "tempo") {
                if (!need("the tempo" + where)) return false;
                double bpm = 0.0;
                if (!parseStrictDouble(word, bpm) || !(bpm > 0.0) || bpm > 60000000.0) {
                    return fail("the tempo " + shown(word) +
                                " is not a number of beats per minute");
                }
            } else if (word == "rhythm") {
                int64_t number = 0;
                if (!need("the time signature" + where)) return false;
                if (!plainNumber(word, 1, 255, number)) {
                    return fail("the beats " + shown(word) + " are not a number from 1 to 255");
                }
                if (!need("\"/\" of the time signature" + where)) return false;
                if (word != "/")
                    return fail("the time signature has " + shown(word) + " where \"/\" belongs");
                if (!need("the time signature's note value" + where)) return false;
                if (!plainNumber(word, 1, 128, number) ||
                    !std::has_single_bit(static_cast<uint64_t>(number))) {
                    return fail("the note value " + shown(word) +
                                " is not a power of two from 1 to 128");
                }
            } else if (word == "tone") {
                int64_t program = 0;
                if (!need("the program number" + where)) return false;
                if (!plainNumber(word, 1, 128, program)) {
                    return fail("the program " + shown(word) + " is not a number from 1 to 128");
                }
            } else if (const int key = noteKey(word); key >= 0) {
                if (key > 127) return fail("the note " + shown(word) + " lies above the MIDI keys");
                const std::string name(word);
                int64_t velocity = 0;
                if (!need("the velocity of " + name + where)) return false;
                if (!plainNumber(word, 0, 65535, velocity)) {
                    return fail("the velocity " + shown(word) + " of " + name +
                                " is not a number from 0 to 127");
                }
                auto& queue = sounding[static_cast<size_t>(key)];
                if (velocity > 0) {
                    queue.emplace_back(time, static_cast<int>(std::min<int64_t>(velocity, 127)));
                } else if (!queue.empty()) {
                    score.notes.push_back(
                        {queue.front().first, time, key, queue.front().second, index});
                    queue.pop_front();
                }
            } else {
                return fail(shown(word) +
                            " is neither tempo, rhythm, tone nor a note name such as a-3 or c#4");
            }
        }
        for (int key = 0; key < 128; ++key) {
            for (const auto& [start, velocity] : sounding[static_cast<size_t>(key)]) {
                score.notes.push_back({start, time, key, velocity, index});
            }
        }
        score.endMs = std::max(score.endMs, time);
        return true;
    }
};

constexpr const char* kKeyNames[12] = {"C",  "C#", "D",  "D#", "E",  "F",
                                       "F#", "G",  "G#", "A",  "A#", "B"};

bool isBlackKey(int key) {
    const int k = key % 12;
    return k == 1 || k == 3 || k == 6 || k == 8 || k == 10;
}

int keyCount(const RollLayout& layout) {
    return std::max(1, layout.highKey - layout.lowKey + 1);
}

std::string systemReason(int err) {
    return std::strerror(err != 0 ? err : EIO);
}

// The seconds between two numbered ticks: at most ten ticks over the span.
int64_t tickStepSeconds(int64_t spanMs) {
    static constexpr int64_t kSteps[] = {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600};
    for (int64_t s : kSteps) {
        if (spanMs / (s * 1000) <= 10) return s;
    }
    int64_t s = 3600;
    while (spanMs / (s * 1000) > 10) s *= 2;
    return s;
}

void drawPeaks(const PeakOverlay& peaks, const RollLayout& layout, PlotCanvas& canvas) {
    const int columns = kRight - kLeft;
    std::vector<int> grid(static_cast<size_t>(columns) * PeakOverlay::kRows, PeakOverlay::kNoPeak);
    for (int64_t b = 0; b < peaks.bins; ++b) {
        const int* bin = &peaks.values[static_cast<size_t>(b * PeakOverlay::kRows)];
        const int x0 = std::min(rollColumn(b * peaks.binMs, layout), kRight - 1);
        const int x1 = std::max(x0 + 1, rollColumn((b + 1) * peaks.binMs, layout));
        for (int row = 0; row < PeakOverlay::kRows; ++row) {
            if (bin[row] == PeakOverlay::kNoPeak) continue;
            for (int x = x0; x < x1; ++x) {
                int& cell = grid[static_cast<size_t>(x - kLeft) * PeakOverlay::kRows + row];
                cell = std::max(cell, bin[row]);
            }
        }
    }
    for (int x = 0; x < columns; ++x) {
        for (int row = 0; row < PeakOverlay::kRows; ++row) {
            const int v = grid[static_cast<size_t>(x) * PeakOverlay::kRows + row];
            if (v != PeakOverlay::kNoPeak) canvas.pixel(kLeft + x, kTop + row, levelColour(v));
        }
    }
}

void drawBar(const RollNote& n, const RollLayout& layout, bool overPeaks, PlotCanvas& canvas) {
    const int x0 = std::min(rollColumn(n.startMs, layout), kRight - 1);
    const int x1 = std::max(x0 + 1, rollColumn(n.endMs, layout));
    const int top = rollRowTop(n.key, layout);
    int bottom = rollRowBottom(n.key, layout);
    if (bottom - top + 1 >= 4) --bottom;
    const Rgb colour = levelColour(velocityValue(n.velocity));
    const int width = x1 - x0, height = bottom - top + 1;
    if (width < 3 || height < 3) {
        canvas.fill(x0, top, x1, bottom + 1, colour);
    } else if (!overPeaks || height < 5) {
        canvas.fill(x0, top, x1, bottom + 1, kBlack);
        canvas.fill(x0 + 1, top + 1, x1 - 1, bottom, colour);
    } else {
        const int line = height >= 9 ? 2 : 1;
        canvas.fill(x0, top, x1, top + 1, kBlack);
        canvas.fill(x0, bottom, x1, bottom + 1, kBlack);
        canvas.fill(x0, top + 1, x0 + 1, bottom, kBlack);
        canvas.fill(x1 - 1, top + 1, x1, bottom, kBlack);
        canvas.fill(x0 + 1, top + 1, x1 - 1, top + 1 + line, colour);
        canvas.fill(x0 + 1, bottom - line, x1 - 1, bottom, colour);
    }
}

}  // namespace

Result<RollScore> readRollScore(std::string_view text) {
    RollScore score;
    Reader r{ScoreWords(text), {}, {}, false};
    if (!r.words.next(r.word, r.tooLong)) return Status::error("the score is empty");
    auto refused = [&] { return Status::error(std::move(r.error)); };
    if (r.tooLong) {
        r.fail("a word longer than " + std::to_string(kMaxWordBytes) + " bytes");
        return refused();
    }
    if (r.word != "tracks") {
        r.fail("the score does not begin with \"tracks\" but with " + shown(r.word));
        return refused();
    }
    if (!r.need("the number of tracks")) return refused();
    int64_t tracks = 0;
    if (!plainNumber(r.word, 0, 255, tracks)) {
        r.fail("the number of tracks " + shown(r.word) + " is not a number from 0 to 255");
        return refused();
    }
    for (int b = 0; b < tracks; ++b) {
        if (!r.block(b, score)) return refused();
    }
    if (r.words.next(r.word, r.tooLong)) {
        r.fail("text after the last track: " + shown(r.word));
        return refused();
    }
    std::stable_sort(score.notes.begin(), score.notes.end(),
                     [](const RollNote& a, const RollNote& b) {
                         return a.startMs != b.startMs ? a.startMs < b.startMs : a.key < b.key;
                     });
    return score;
}

Result<RollScore> readRollScoreFile(const std::string& path) {
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) return Status::error(systemReason(errno), RollScoreError::CannotOpen);
    std::string text;
    char buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f.get())) > 0) {
        if (static_cast<int64_t>(text.size() + got) > kMaxScoreBytes) {
            return Status::error(
                "the score is larger than " + std::to_string(kMaxScoreBytes >> 20) + " MB",
                RollScoreError::Unreadable);
        }
        text.append(buf, got);
    }
    if (std::ferror(f.get())) return Status::error(systemReason(errno), RollScoreError::Unreadable);
    Result<RollScore> score = readRollScore(text);
    if (!score) return Status::error(score.message(), RollScoreError::Unreadable);
    return score;
}

std::string keyName(int key) {
    if (key < 0) return "?";
    return std::string(kKeyNames[key % 12]) + std::to_string(key / 12 - 1);
}

RollLayout rollLayout(const RollScore& score, int64_t minSpanMs) {
    RollLayout layout;
    if (!score.notes.empty()) {
        int low = 127, high = 0;
        for (const RollNote& n : score.notes) {
            low = std::min(low, n.key);
            high = std::max(high, n.key);
        }
        layout.lowKey = low / 12 * 12;
        layout.highKey = std::min(127, high / 12 * 12 + 11);
    }
    layout.spanMs = std::min(kMaxScoreMs, std::max({score.endMs, minSpanMs, int64_t{1000}}));
    return layout;
}

int rollColumn(int64_t ms, const RollLayout& layout) {
    const int64_t t = std::clamp<int64_t>(ms, 0, layout.spanMs);
    return kLeft + static_cast<int>(t * 1000 / layout.spanMs);
}

int rollRowTop(int key, const RollLayout& layout) {
    const int i = key - layout.lowKey;
    return kBottom + 1 - ((i + 1) * PeakOverlay::kRows) / keyCount(layout);
}

int rollRowBottom(int key, const RollLayout& layout) {
    const int i = key - layout.lowKey;
    return kBottom - (i * PeakOverlay::kRows) / keyCount(layout);
}

int rollFrequencyRow(double f, const RollLayout& layout) {
    if (!(f > 0.0) || !std::isfinite(f)) return -1;
    const double key = 69.0 + 12.0 * std::log2(f / 440.0);
    const double pos = key - layout.lowKey + 0.5;  // in rows of keys, from the bottom
    const int n = keyCount(layout);
    if (!(pos >= 0.0) || !(pos < n)) return -1;
    return kBottom - static_cast<int>(pos * PeakOverlay::kRows / n);
}

int velocityValue(int velocity) {
    return std::clamp(velocity, 0, 127) * 8;
}

Result<PeakOverlay> readPeakOverlay(const std::string& path, const RollLayout& layout) {
    PeakOverlay overlay;
    errno = 0;
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!f) return Status::error(systemReason(errno));
    const PeakFileHeader h = readPeakHeader(path);
    overlay.maxdB = h.maxdB;
    overlay.mindB = h.mindB;
    overlay.lowKey = layout.lowKey;
    overlay.highKey = layout.highKey;
    // Bins of a frame each, or longer so that the whole list takes some
    // two thousand; a list longer than its header says merges them later.
    constexpr int64_t kWantedBins = 2000, kMaxBins = 4096;
    const int64_t frame = std::max<int64_t>(1, h.frameRate);
    const int64_t expected = std::max<int64_t>(frame, (int64_t{h.loopCount} + 1) * frame);
    overlay.binMs = std::max(frame, (expected + kWantedBins - 1) / kWantedBins);
    constexpr size_t rows = PeakOverlay::kRows;
    auto halve = [&] {
        const int64_t merged = (overlay.bins + 1) / 2;
        for (int64_t b = 0; b < merged; ++b) {
            for (size_t row = 0; row < rows; ++row) {
                int v = overlay.values[static_cast<size_t>(2 * b) * rows + row];
                if (2 * b + 1 < overlay.bins) {
                    v = std::max(v, overlay.values[static_cast<size_t>(2 * b + 1) * rows + row]);
                }
                overlay.values[static_cast<size_t>(b) * rows + row] = v;
            }
        }
        overlay.bins = merged;
        overlay.values.resize(static_cast<size_t>(merged) * rows);
        overlay.binMs *= 2;
    };
    PeakRecordReader reader(f.get(), path);
    PeakRecord rec;
    while (reader.next(rec)) {
        const int64_t t = rec.label;
        if (t < 0) continue;
        overlay.spanMs = std::max(overlay.spanMs, std::min(kMaxScoreMs, t + frame));
        while (t / overlay.binMs >= kMaxBins) halve();
        const int64_t b = t / overlay.binMs;
        if (b >= overlay.bins) {
            overlay.bins = b + 1;
            overlay.values.resize(static_cast<size_t>(overlay.bins) * rows, PeakOverlay::kNoPeak);
        }
        int* bin = &overlay.values[static_cast<size_t>(b) * rows];
        for (int32_t i = 0; i < rec.count(); ++i) {
            const int y = rollFrequencyRow(rec.freqs[static_cast<size_t>(i)], layout);
            if (y < 0) continue;
            const int v = levelValue(rec.levels[static_cast<size_t>(i)], h.mindB, h.maxdB);
            int& cell = bin[y - kTop];
            cell = std::max(cell, v);
        }
    }
    return overlay;
}

void drawPianoRoll(const RollScore& score, const PeakOverlay* peaks, PlotCanvas& canvas) {
    const RollLayout layout = rollLayout(score, peaks ? peaks->spanMs : 0);
    canvas.fill(0, 0, kPlotWidth, kPlotHeight, kWhite);
    canvas.rectangle(80, 20, 1082, 572);
    for (int key = layout.lowKey; key <= layout.highKey; ++key) {
        if (isBlackKey(key)) {
            canvas.fill(kLeft, rollRowTop(key, layout), kRight, rollRowBottom(key, layout) + 1,
                        kBlackKeyShade);
        }
    }
    const bool overPeaks =
        peaks && peaks->lowKey == layout.lowKey && peaks->highKey == layout.highKey;
    if (overPeaks) drawPeaks(*peaks, layout, canvas);
    // A dotted line under every C but the lowest: the octaves.
    for (int key = layout.lowKey + 12; key <= layout.highKey; key += 12) {
        const int y = rollRowBottom(key, layout);
        canvas.dottedLine(kLeft, y, kRight, y);
    }
    for (const RollNote& n : score.notes) drawBar(n, layout, overPeaks, canvas);

    // Seconds under the frame, as the peak plots number them.
    const int64_t step = tickStepSeconds(layout.spanMs);
    for (int64_t s = step; s * 1000 < layout.spanMs; s += step) {
        const int x = rollColumn(s * 1000, layout);
        const std::string label = std::to_string(s);
        // A number that would run off the picture is left out, tick and all.
        if (x - 5 + canvas.textWidth(label, PlotFont::A) > kPlotWidth) break;
        canvas.line(x, 571, x, 562);
        canvas.text(x - 5, 572, label, PlotFont::A);
    }
    // The C of every octave left of the frame.
    for (int key = layout.lowKey; key <= layout.highKey; key += 12) {
        const int y = (rollRowTop(key, layout) + rollRowBottom(key, layout)) / 2;
        const std::string name = keyName(key);
        canvas.line(75, y, 80, y);
        canvas.text(72 - canvas.textWidth(name, PlotFont::Small), y - 7, name, PlotFont::Small);
    }
    canvas.text(10, 330, "Key", PlotFont::B);
    canvas.text(501, 610, "Time [sec]", PlotFont::C);

    LegendTexts velocity{"velocity", {"1", "32", "64", "96", "127"}};
    if (overPeaks) {
        LegendTexts dB;
        dB.caption = "peaks [dB]";
        const double range = peaks->maxdB - peaks->mindB;
        for (int j = 0; j < 5; ++j) dB.marks[j] = formatDecibels(peaks->mindB + range * j / 4.0);
        drawLevelLegend(canvas, velocity, &dB, false);
    } else {
        drawLevelLegend(canvas, velocity, nullptr, false);
    }
}

Status drawPianoRollFiles(const std::string& scorePath, const std::string& peakPath,
                          PlotCanvas& canvas) {
    const Result<RollScore> score = readRollScoreFile(scorePath);
    if (!score) {
        const bool opened = score.code<RollScoreError>() != RollScoreError::CannotOpen;
        return Status::error((opened ? scorePath + ": " : "オープンエラー: " + scorePath + "\n") +
                             score.message());
    }
    if (peakPath.empty()) {
        drawPianoRoll(*score, nullptr, canvas);
        return {};
    }
    const Result<PeakOverlay> peaks = readPeakOverlay(peakPath, rollLayout(*score));
    if (!peaks) return Status::error("オープンエラー: " + peakPath + "\n" + peaks.message());
    drawPianoRoll(*score, &*peaks, canvas);
    return {};
}

}  // namespace sonvola
