#include "notefind/recognize.h"

#include <algorithm>
#include <cmath>

#include "common/console.h"
#include "common/noteindex.h"
#include "common/scoretext.h"

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

std::string noteName(int16_t semitone) {
    static const char* const kLetters[] = {"c-", "c#", "d-", "d#", "e-", "f-",
                                           "f#", "g-", "g#", "a-", "a#"};
    const int pitchClass = semitone % 12;  // keeps the sign of n
    const int octave = semitone / 12;
    const char* letters = pitchClass >= 0 && pitchClass <= 10 ? kLetters[pitchClass] : "b-";
    return format("%s%d", letters, octave);
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

std::vector<ScoreEvent> buildScoreEvents(const std::vector<NoteRecord>& notes) {
    std::vector<ScoreEvent> events;
    events.reserve(notes.size() * 2);
    for (size_t i = 0; i < notes.size(); ++i) {
        events.push_back({notes[i].startMs, static_cast<int32_t>(i), 0});
    }
    for (size_t i = 0; i < notes.size(); ++i) {
        events.push_back({notes[i].endMs, static_cast<int32_t>(i), 1});
    }
    std::stable_sort(events.begin(), events.end(),
                     [](const ScoreEvent& a, const ScoreEvent& b) { return a.timeMs < b.timeMs; });
    return events;
}

void writeScore(std::FILE* out, const std::vector<NoteRecord>& notes,
                const std::vector<ScoreEvent>& events, const ScoreArguments& args) {
    using namespace scoreformat;
    std::fputs(kTracks, out);
    std::fputs(kBlank, out);
    std::fputs(kTrackOpen, out);
    std::fprintf(out, kTempo, args.tempo.c_str());
    std::fprintf(out, kRhythm, args.numerator.c_str(), args.denominator.c_str());
    std::fputs(kConductorClose, out);
    std::fputs(kTrackOpen, out);
    std::fprintf(out, kTone, args.program.c_str());
    int64_t previous = 0;
    for (const ScoreEvent& e : events) {
        const NoteRecord& n = notes[static_cast<size_t>(e.noteIndex)];
        const long long delta = static_cast<long long>(e.timeMs - previous);
        if (e.kind == 0) {
            std::fprintf(out, kNoteOn, delta, n.name.c_str(), static_cast<int>(n.volume));
        } else {
            std::fprintf(out, kNoteOff, delta, n.name.c_str());
        }
        previous = e.timeMs;
    }
    std::fputs(kTrackClose, out);
}

}  // namespace sonvola
