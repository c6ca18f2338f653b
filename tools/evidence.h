// The sound behind a score: the peaks of every frame ("SpecScan.txt") and
// the tracks linked from them ("TrackJoin.txt"), as the stages wrote them for
// the recording whose score sonvola-refine refines. With them the rules of
// tools/refine.h decide by what was heard rather than by the notes alone:
//   - doublings (soundsOnItsOwn): a note at a partial's interval above
//     another stays when every partial of it stands out of the lower note's
//     harmonic envelope;
//   - fundamentals (heardAsFundamental): a note heard through its partials
//     is added only when the spectrum holds its fundamental, however weak,
//     and then two partials are enough, or the octave alone;
//   - held notes (joinHeldNotes): pieces of one pitch, or of neighbouring
//     semitones around one pitch, are one note unless the second starts with
//     an attack;
//   - short notes (keepShortNotes): a note too short for the flicker rule
//     stays when it starts with an attack of its own, alone in its register;
//   - ends (endsFromEnvelope): a note ends where its release begins.
// All times are on the stages' timeline (before the latency shift); the
// constants were measured on the development corpus of the accuracy bench
// (bench/accuracy), as the comments say.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/peakfile.h"
#include "common/status.h"
#include "tools/refine.h"

namespace sonvola {

// A peak belongs to a partial within this many cents (the 7th partial lies
// 31 cents below its tempered semitone).
inline constexpr double kPeakToleranceCents = 50.0;
// The partials a profile holds: those below kProfileTopHz, where SpecScan's
// band ends, up to the 16th.
inline constexpr int kProfilePartials = 16;
inline constexpr double kProfileTopHz = 5500.0;

class SpectralEvidence {
  public:
    // `frames`: the records of SpecScan.txt (label = the frame's time in ms);
    // `tracks`: the records of TrackJoin.txt (label = the start in ms, one
    // pair per frame); `frameMs`: the frame shift of both (FrameRate).
    SpectralEvidence(PeakTable frames, const PeakTable& tracks, int32_t frameMs);

    int32_t frameMs() const { return frameMs_; }
    // Where the lists end: past it no frame holds a peak.
    int64_t endMs() const { return endMs_; }

    // dB of the loudest peak within `toleranceCents` of `hz` in the frame
    // at `ms`; 0 when there is none (SpecScan writes peaks of 10 dB or more).
    float levelAt(int64_t ms, double hz, double toleranceCents = kPeakToleranceCents) const;
    // The same in the frame of index `frame` (frameIndex; none when negative).
    int64_t frameIndex(int64_t ms) const;  // -1 when no frame is at `ms`
    float levelInFrame(int64_t frame, double hz, double toleranceCents = kPeakToleranceCents) const;
    // The mean of levelAt over the frames from `fromMs` to `toMs` (0 when
    // the span holds no frame).
    float meanLevel(int64_t fromMs, int64_t toMs, double hz) const;
    // Mean levels of partials 1 to kProfilePartials of `key` over a span
    // (index 0 unused).
    std::array<float, kProfilePartials + 1> partialLevels(int key, int64_t fromMs,
                                                          int64_t toMs) const;
    // The level envelope of `key` from its tracks: for each frame from
    // `fromMs` to `toMs`, the loudest level of a track whose semitone is `key`
    // at that frame (0 where none sounds).
    std::vector<float> envelope(int key, int64_t fromMs, int64_t toMs) const;
    // The same from the tracks of `key` that start from `startFromMs` to
    // `startToMs` only; `lastEndMs` (when given) gets the latest end of them.
    std::vector<float> envelopeOfTracksStarting(int key, int64_t startFromMs, int64_t startToMs,
                                                int64_t fromMs, int64_t toMs,
                                                int64_t* lastEndMs = nullptr) const;
    // Where a partial at `hz` that rose with a note at `onsetMs` (its level
    // rising kOwnAttackRiseDb as attackAt measures) stops being heard as
    // peaks (gaps of up to kPartialRunGapFrames frames bridged), before
    // `limitMs`; `onsetMs` when it did not rise there.
    int64_t partialRunEnd(double hz, int64_t onsetMs, int64_t limitMs) const;
    // The mean pitch (a fractional MIDI key) of the tracks of `key` over a
    // span; NaN when none sounds there.
    double meanPitch(int key, int64_t fromMs, int64_t toMs) const;
    // Where the sound of `key` ending at `endMs` really ends: tracks of
    // `key` that start within kHeldOverlapMs before to kHeldGapMs after the
    // end, without rising kOwnAttackRiseDb over its last level (lumps too
    // quiet for NoteFind included), carry it on, up to `limitMs`.
    int64_t continuedEnd(int key, int64_t endMs, int64_t limitMs) const;

  private:
    struct Track {
        int64_t startMs = 0;
        int key = 0;
        std::vector<float> freqs, levels;
    };
    // Calls f(track) for the tracks of `key` that may sound between `fromMs`
    // and `toMs` (those starting from the key's longest track's length
    // before `fromMs` up to `toMs`).
    template <typename F>
    void forTracksNear(int key, int64_t fromMs, int64_t toMs, F&& f) const {
        if (key < 0 || key >= 128) return;
        const std::vector<size_t>& list = tracksOfKey_[static_cast<size_t>(key)];
        auto it = std::lower_bound(list.begin(), list.end(),
                                   fromMs - longestOfKey_[static_cast<size_t>(key)],
                                   [&](size_t i, int64_t t) { return tracks_[i].startMs < t; });
        for (; it != list.end() && tracks_[*it].startMs <= toMs; ++it) f(tracks_[*it]);
    }

    friend int64_t doublingEntry(const SpectralEvidence&, const ScoreNote&, const ScoreNote&, int);
    // doublingEntry's answers, asked again by the second pass of the ghost
    // rule (the evidence is read by one thread at a time).
    mutable std::map<std::array<int64_t, 7>, int64_t> entries_;
    // partialLevels' answers: each pass of the ghost rule asks again (one
    // thread at a time, as above).
    mutable std::map<std::array<int64_t, 3>, std::array<float, kProfilePartials + 1>> profiles_;
    PeakTable frames_;
    std::vector<bool> sortedFrames_;                // per frame: its peaks by rising frequency
    bool labelsRising_ = true;                      // the frames' labels never fall
    std::vector<Track> tracks_;                     // by start
    std::vector<std::vector<size_t>> tracksOfKey_;  // MIDI key -> tracks, by start
    std::vector<int64_t> longestOfKey_;             // MIDI key -> its longest track in ms
    int32_t frameMs_ = 10;
    int64_t endMs_ = 0;
};

// Reads the two lists; fails with a sentence naming the file when one cannot
// be read whole.
Result<std::unique_ptr<SpectralEvidence>> loadSpectralEvidence(const std::string& peaksPath,
                                                               const std::string& tracksPath);

// The frequency of a MIDI key (A4 = 440 Hz).
double keyHz(int key);

// Doublings. Over the first kDoublingWindowMs that two notes share, the
// partials of the lower note that are multiples of k (those a note at its
// partial k would add to) are louder on average than its other partials
// (1 to kProfilePartials, below kProfileTopHz) by more than kDoublingCombDb:
// the upper note sounds on its own. A partial alone leaves the lower note's
// harmonic envelope smooth; one loud partial (a bass's 5th) is no note
// while the partials a note there would bring (the 10th, the 15th) follow
// the envelope. On the development corpus that difference measured a
// median of -0.2 dB for the candidates that were partials (1050, both passes
// of the ghost rule) and 8.9 dB for the real doublings (109); above 10 dB
// lie 57 of the partials (45 of them an organ's octave stops) and 45 of the
// doublings (a doubling at the same loudness as the partial it covers
// cannot be told). Over 9 partials the partials' median was 0.4 dB and
// 136 of them lay above 10 dB.
inline constexpr int64_t kDoublingWindowMs = 100;
inline constexpr float kDoublingCombDb = 10.0f;
bool soundsOnItsOwn(const SpectralEvidence& evidence, const ScoreNote& lower,
                    const ScoreNote& upper, int partial);

// Doublings entering later. A note at partial k of a lower note that
// NoteFind dated from the lower note's attack (the partial sounded first)
// is a doubling that entered later when, after the first kEntryAfterMs of
// the lower note, its partials at multiples of k rise by kEntryRiseDb more
// than their neighbours (each partial's mean level over the kAttackAfterMs
// after a frame against the 40 ms before it) and one of them (2k, 3k...)
// that was not heard at all before is heard in half the frames after or more: an
// octave struck over a held note lifts its 4th and 6th partials out of
// nothing, while a bow change, a breath or a brass note's brightening lift
// partials that sound already, and lift their neighbours too. The time of
// the steepest rise, or -1; a note of the score entering then over the
// upper one is what rose (removeHarmonicGhosts). On the bench the octave
// duet (an upper voice entering 150 ms after the lower in a third of its
// doublings) rose from 0.77 and 0.72 to 0.85 and 0.75 onset F1; 8 to 12 dB
// give the same means, 6 dB catches a violin's bow changes and 4 dB a
// trumpet's brightening (mean onset F1 0.826 and 0.818 against 0.828).
inline constexpr int64_t kEntryAfterMs = 60;
inline constexpr int64_t kEntryScanMs = 30000;  // looked for in the first 30 s shared
inline constexpr float kEntryRiseDb = 12.0f;
int64_t doublingEntry(const SpectralEvidence& evidence, const ScoreNote& lower,
                      const ScoreNote& upper, int partial);

// Fundamentals. A fundamental is heard when the peak list holds a peak
// within kPeakToleranceCents of it in at least kFundamentalFrames frames of
// the span, however weak (below the loudness NoteFind asks of a note). On
// the development corpus each of the 14 low notes rightly restored from
// their partials had one in 2 to 91 frames, and none of the 13 chords
// voiced like a harmonic series (C3 G3 C4 is partials 2 to 4 of C2) had one
// in more than one frame.
inline constexpr int kFundamentalFrames = 2;
// With that, the octave alone stands for a fundamental heard in the
// kOctaveOnsetMs after the octave's onset (an inner voice of a chord or a
// low note whose 2nd partial passed the loudness test first), unless a
// lower note sounding then holds the fundamental among its partials (a bass
// note's 2nd partial is not a note an octave above it). On the corpus 100 to
// 300 ms give the same means within 0.01; the whole span of the octave
// takes a note played later under it for its fundamental.
inline constexpr int64_t kOctaveOnsetMs = 200;
// Below G2 the fundamental may leave no peak at all (a frame of 512 samples
// resolves peaks about 43 Hz apart): there partials 3 and 5 heard with the
// octave in the kOctaveOnsetMs after its onset (each a peak in at least
// kFundamentalFrames frames, neither a note of the score) stand for it; a
// series of the octave has no odd partials of the note below. True when
// partials 3 and 5 of `key` each have a peak in that many frames of the span.
bool oddPartialsHeard(const SpectralEvidence& evidence, int key, int64_t fromMs, int64_t toMs);
// The same for any partials: each has a peak in kFundamentalFrames frames of
// the span. Below G2 a note's partials that the notes found do not explain
// tell whose partials those notes are, when the fundamental left no peak:
//   - a note at partial 3 alone is the fundamental when partials 2 and 4 are
//     heard as peaks, neither a note of the score (a note a twelfth above has
//     no partial at an even multiple of the fundamental);
//   - notes at partials 2 and 3 starting together are the fundamental when
//     partial 5 is heard as a peak and is no note of the score (an octave and
//     a fifth above have no partial at 5 times the fundamental).
// On the bench the first lifts the low piano part on FluidR3_GM (0.46 to
// 0.57 onset F1), the second on TimGM6mb (0.33 to 0.41), both the piano's
// two hands (0.64 to 0.69, 0.72 to 0.79).
// Above G2 the first holds too when the fundamental itself is heard as the
// twelfth starts (heardAsFundamental): a clarinet's weak fundamental and
// octave stay under NoteFind's loudness and only the 3rd partial passes
// (staccato clarinet on FluidR3_GM: onset F1 0.78 to 0.93).
bool partialsHeard(const SpectralEvidence& evidence, int key, std::initializer_list<int> partials,
                   int64_t fromMs, int64_t toMs);
bool heardAsFundamental(const SpectralEvidence& evidence, int key, int64_t fromMs, int64_t toMs);

// Attacks. A sound starts anew at `onsetMs` when the mean level of its
// first kAttackPartials partials (each the loudest peak within
// kSourceToleranceCents, so that vibrato and glides stay in) rises by
// kOwnAttackRiseDb from the 40 ms before to the kAttackAfterMs after (the
// frames around a transient often hold no peak at all, which the means
// take as silence on both sides: 30 ms after missed the repeated notes of
// examples/melody.wav; 30 to 50 ms give the bench's means within 0.002).
// (4 and 9 dB give the bench's means within 0.01.)
inline constexpr int kAttackPartials = 3;
inline constexpr double kSourceToleranceCents = 100.0;
inline constexpr float kOwnAttackRiseDb = 6.0f;
inline constexpr int64_t kAttackAfterMs = 50;
bool attackAt(const SpectralEvidence& evidence, int64_t onsetMs, double hz);

// Held notes. A note continues while its sound does: the next note of the
// same pitch (or of a neighbouring semitone whose tracks' mean pitch lies
// within kSamePitchSemitones of it: a sung or bowed note between two
// semitones, a vibrato crossing the boundary) starting at most kHeldGapMs
// after its end, or overlapping it by at most kHeldOverlapMs, without an
// attack of its own, is the same note. The joined note takes the mean pitch
// of its pieces, weighted by their lengths. A step of a tempered semitone
// (legato) differs by a whole semitone and stays two notes. A piece shorter
// than kGlideMs (and than the next) that runs into a piece a semitone away
// whose mean pitch lies less than kGlideSemitones from its own is the glide
// into that note (a singer's scoop, which swells as it goes, so no attack is
// asked of it): the note starts with the glide and takes the pitch of the
// piece it glides into. On the corpus's singing the glides measured 0.4 to
// 0.8 semitones and 70 to 140 ms; two sung notes a semitone from each other 0.87 and
// more, tempered steps a whole semitone.
inline constexpr int64_t kHeldGapMs = 60;
// A longer gap joins too when the sound went on through it: one of the
// note's first kAttackPartials partials is a peak (within
// kPeakToleranceCents: a neighbouring semitone's partials do not count) in
// every frame from `fromMs` to `toMs` (a track that broke while the note
// sounded: a low note's fundamental, a string ensemble's chorus). On the
// bench: mean onset F1 0.828 to 0.839, onset+offset 0.677 to 0.696 (the bass
// line on TimGM6mb 0.67 to 0.87); any gap from 300 ms up gives the same (a
// bound of 100 ms 0.836, 200 ms 0.838); without the sound asked for, 0.840
// at 300 ms, but two quiet notes across a rest would be joined; within
// kSourceToleranceCents the neighbours' partials joined fast repeated notes
// (0.839 / 0.695).
bool heardThroughout(const SpectralEvidence& evidence, int key, int64_t fromMs, int64_t toMs);
inline constexpr int64_t kHeldOverlapMs = 60;
inline constexpr double kSamePitchSemitones = 0.5;
inline constexpr int64_t kGlideMs = 150;
inline constexpr double kGlideSemitones = 0.8;
std::vector<ScoreNote> joinHeldNotes(const SpectralEvidence& evidence,
                                     const std::vector<ScoreNote>& notes);

// Short notes. A note shorter than kFlickerMs (removeFlickers) stays when it
// starts with an attack of its own (attackAt) and no other note sounds
// within kShortNeighbourSemitones of it meanwhile: a staccato note, not a
// partial or a neighbouring semitone catching the threshold during an
// attack. The others go, as removeFlickers drops them.
inline constexpr int kShortNeighbourSemitones = 2;
std::vector<ScoreNote> keepShortNotes(const SpectralEvidence& evidence,
                                      const std::vector<ScoreNote>& notes);

// Soft attacks. The analysis window (a frame of `frameMs`) smears a sudden
// attack over its length: the level of a struck note rises for that long
// and no longer. A note whose level (its tracks') still rises after it, by
// kSoftAttackSlopeDb a frame or more on average from its first frame to
// its loudest within kSoftAttackLookFrames frames after the window's
// length, was breathed or bowed in: its track began only where the rise
// passed the analysis threshold, so its start moves back along the rise to
// where it would have left the 10 dB floor of the peak list, by at most
// kSoftAttackBackFrames frames. On the bench the flute on FluidR3_GM goes
// from 0.68 to 0.91 onset F1 (its notes began 55 to 67 ms late), the mean
// to 0.848 and 0.721; the median onset error of the matched notes from +4
// to 0 ms, the piano's moving by 2 to 9 ms (back by up to 3 frames 0.848;
// 4, 0.835; a 2 dB slope, nothing moves).
inline constexpr double kSoftAttackSlopeDb = 1.0;
inline constexpr int kSoftAttackLookFrames = 3;
inline constexpr int kSoftAttackBackFrames = 2;
inline constexpr float kPeakFloorDb = 10.0f;
std::vector<ScoreNote> softAttackStarts(const SpectralEvidence& evidence,
                                        const std::vector<ScoreNote>& notes, double frameMs);

// Ends. A note ends where its release begins. The release is found at the
// first frame after the note's peak by which the level at its pitch (its
// tracks' levels) has fallen kReleaseDropDb under the loudest of the
// kReleaseMs before and never comes back (a fall of 100 dB a second or
// more: a released key, a stopped bow or breath; a held piano note decays
// ten times slower); it began at the last frame before that still within
// kReleaseStartDb of that level, provided the sound was held before it: it
// fell at most half of kReleaseDropDb over the kReleaseMs before (or since
// the note's start); a struck high note that decays fast all along has no
// release to find. The tail of the release and a
// room's reverberation, which the tracks follow until they fall under the
// analysis threshold, are not the note. The end is that frame's end plus
// `frameEndMs`, the share of the end latency that a track's last frame
// carries as it fades (see analysisEndLatencyMs) and a frame still at the
// note's level does not; a track that stops while still within
// kReleaseDropDb of its peak (a staccato note) stops with the sound and
// gets that share back too. On the bench 6 to 15 dB give the same scores,
// and added shares from 0 to 60 ms the same onset+offset F1 within 0.005.
// A note whose own tracks fade without a release is carried on by the
// tracks of its partials 2 and 3 (kCarryingPartialIntervals) that started
// within kTogetherMs of it, when no note of the score starts there with it,
// up to the next note of its pitch or of theirs: a piano's fundamental falls
// under the analysis floor long before its octave, or is lost beside a
// neighbour a few semitones away (F3 and G#3 in one frame of 512 samples).
// Their levels, moved to the note's loudest, continue its envelope, and the
// release is looked for in the whole. On the bench: onset+offset F1 0.658
// to 0.672 (polyphonic pieces 0.518 to 0.554, the low register 0.529 to
// 0.571; the melodies 0.753 to 0.749).
inline constexpr int64_t kReleaseMs = 100;
inline constexpr int kCarryingPartialIntervals[] = {12, 19};  // partials 2 and 3
// The same partials heard only as peaks (TrackJoin leaves out lumps quieter
// than the middle of the list's level range), when the note's own tracks
// faded (ended more than kReleaseDropDb under their loudest) rather than
// stopped: they carry it while they go on, gaps of up to
// kPartialRunGapFrames frames bridged, up to a note of the score that has
// them among its partials (any below the band: above a low note nearly
// every peak may be one), and not at all when such a note sounds from the
// start. On the bench onset+offset F1 0.711 to 0.715 (two voices on
// TimGM6mb 0.69 to 0.91, where a piano's A3 falls under the floor 300 ms
// before its key is released and its octave goes on; two voices on
// FluidR3_GM lose 0.035 where an octave outlasts the key).
inline constexpr int kPartialRunGapFrames = 2;
// Without such a release, a slower one ends a note that was held: a fall of
// kReleaseDropDb within kSlowReleaseMs (50 dB a second: an organ or a
// bowed note dying into the room's reverberation) after kSlowReleaseMs in
// which the level stayed within kReleaseStartDb (a piano note, which decays
// all along, never is). On the bench onset+offset F1 0.696 to 0.708, no
// piece lower (organ on FluidR3_GM 0.07 to 0.18, the trumpet on TimGM6mb
// 0.76 to 0.80); 150 and 250 ms give 0.707 and 0.702; without the held
// sound asked for, piano notes end early (0.695 at 200 ms, 0.583 at 500).
inline constexpr int64_t kSlowReleaseMs = 200;
inline constexpr float kReleaseDropDb = 10.0f;
inline constexpr float kReleaseStartDb = 3.0f;
std::vector<ScoreNote> endsFromEnvelope(const SpectralEvidence& evidence,
                                        const std::vector<ScoreNote>& notes, int64_t frameEndMs);

}  // namespace sonvola
