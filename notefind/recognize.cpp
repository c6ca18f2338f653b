#include "notefind/recognize.h"

#include <algorithm>
#include <cmath>

#include "common/console.h"
#include "common/noteindex.h"

namespace sonvola {

namespace {

// Truncation toward zero into 16 bits; values outside the range (which no
// recording reaches) are held at its ends rather than wrapped.
int16_t toInt16(double v) {
    if (!std::isfinite(v)) return 0;
    v = std::trunc(v);
    if (v > 32767.0) return 32767;
    if (v < -32768.0) return -32768;
    return static_cast<int16_t>(v);
}

}  // namespace

int16_t trackVolume(int16_t semitone, float peakLevel, float maxdB) {
    const double l = peakLevel;
    const double m = maxdB;
    if (semitone < 35) return toInt16(l * 127.0 / m);
    const double ratio = 2.0 * l / m;
    if (!(ratio > 0.0) || !std::isfinite(ratio)) return 0;
    const double x = 0.9 * (std::log(ratio) * -127.0 / std::log(2.0));
    if (!std::isfinite(x)) return 0;
    return toInt16(12.0 - std::trunc(x));
}

TrackFeatures analyseTrack(const PeakRecord& track, int32_t frameRate, float maxdB) {
    TrackFeatures f;
    float peak = -99999.0f;
    double sum = 0.0;
    for (int32_t i = 0; i < track.count(); ++i) {
        if (track.levels[static_cast<size_t>(i)] > peak)
            peak = track.levels[static_cast<size_t>(i)];
        sum += track.freqs[static_cast<size_t>(i)];
    }
    const double mean = sum / static_cast<double>(track.count());  // NaN without pairs: n = 0
    f.semitone = noteIndex(mean);
    f.startMs = track.label;
    f.endMs = f.startMs + static_cast<int64_t>(track.count()) * frameRate;
    f.volume = trackVolume(f.semitone, peak, maxdB);
    return f;
}

bool acceptTrack(const TrackFeatures& f) {
    const int needed = f.semitone >= 59 ? 101 : 1;
    if (f.volume < needed) return false;
    return f.endMs - f.startMs > 30;
}

std::vector<NoteRecord> recogniseNotes(const PeakTable& tracks, int32_t frameRate, float maxdB,
                                       std::FILE* out) {
    std::vector<TrackFeatures> features;
    features.reserve(tracks.records.size());
    for (const PeakRecord& r : tracks.records)
        features.push_back(analyseTrack(r, frameRate, maxdB));
    std::fputs("\n..Recognized notes\n", out);
    std::vector<NoteRecord> notes;
    for (const TrackFeatures& f : features) {
        if (!acceptTrack(f)) continue;
        NoteRecord n{f.startMs, f.endMs, f.volume, noteName(f.semitone)};
        std::fprintf(out, "%s | %lld-%lld [ms] | vol:%d | %d,%d/%lld [ms]\n", n.name.c_str(),
                     static_cast<long long>(n.startMs), static_cast<long long>(n.endMs),
                     static_cast<int>(n.volume), 0, 0,
                     static_cast<long long>(n.endMs - n.startMs + frameRate));
        notes.push_back(std::move(n));
    }
    return notes;
}

}  // namespace sonvola
