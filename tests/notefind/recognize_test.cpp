#include "notefind/recognize.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <sstream>

#include "common/scoretext.h"
#include "tests/support/peaktables.h"
#include "tests/support/streams.h"

namespace sonvola {
namespace {

using test::RecordRows;

PeakRecord track(int32_t label, int entries, float freq, float level) {
    PeakRecord r;
    r.label = label;
    r.freqs.assign(static_cast<size_t>(entries), freq);
    r.levels.assign(static_cast<size_t>(entries), level);
    return r;
}

using test::slurp;

TEST(Recognise, PitchNamesAndTheLogarithmicRuleFromB3) {
    TrackFeatures a = analyseTrack(track(100, 5, 440.0f, 80.0f), 10, 80.0f);
    EXPECT_EQ(a.semitone, 45);
    EXPECT_EQ(noteName(a.semitone), "a-3");
    EXPECT_EQ(a.startMs, 100);
    EXPECT_EQ(a.endMs, 150);
    EXPECT_EQ(a.volume, 126);  // logarithmic rule at full level
    TrackFeatures b = analyseTrack(track(0, 5, 246.94f, 80.0f), 10, 80.0f);
    EXPECT_EQ(b.semitone, 35);
    EXPECT_EQ(b.volume, 126);
}

TEST(Recognise, MeanFrequencyIsAccumulatedInDouble) {
    PeakRecord r;
    r.freqs = {430.0f, 450.0f, 440.0f};
    r.levels = {10.0f, 30.0f, 20.0f};
    TrackFeatures f = analyseTrack(r, 10, 30.0f);
    EXPECT_EQ(f.semitone, 45);
    EXPECT_EQ(f.volume, 126);  // the loudest entry counts
}

TEST(Recognise, VolumesForAMaximumOf80Db) {
    EXPECT_EQ(trackVolume(34, 80.0f, 80.0f), 127);
    EXPECT_EQ(trackVolume(34, 40.0f, 80.0f), 63);
    EXPECT_EQ(trackVolume(35, 80.0f, 80.0f), 126);
    EXPECT_EQ(trackVolume(35, 40.0f, 80.0f), 12);
    EXPECT_EQ(trackVolume(35, 60.0f, 80.0f), 78);
    EXPECT_LT(trackVolume(35, 20.0f, 80.0f), 0);
    EXPECT_EQ(trackVolume(35, 0.0f, 80.0f), 0);  // no logarithm: too quiet
    EXPECT_EQ(trackVolume(35, -5.0f, 80.0f), 0);
    EXPECT_EQ(trackVolume(10, 5.0f, 0.0f), 0);  // no maximum: no volume
    // The smallest passing levels in steps of 0.01 dB.
    EXPECT_EQ(trackVolume(58, 37.20f, 80.0f), 1);
    EXPECT_EQ(trackVolume(58, 37.19f, 80.0f), 0);
    EXPECT_GE(trackVolume(59, 68.63f, 80.0f), 101);
    EXPECT_LT(trackVolume(59, 68.62f, 80.0f), 101);
}

TEST(Recognise, LoudnessTestWithTheB5RuleAndTheLengthTest) {
    EXPECT_FALSE(acceptTrack({59, 100, 0, 100}));
    EXPECT_TRUE(acceptTrack({59, 101, 0, 100}));
    EXPECT_TRUE(acceptTrack({58, 1, 0, 100}));
    EXPECT_FALSE(acceptTrack({58, 0, 0, 100}));
    EXPECT_FALSE(acceptTrack({45, 90, 0, 30}));  // exactly 30 ms
    EXPECT_TRUE(acceptTrack({45, 90, 0, 40}));
    TrackFeatures empty = analyseTrack(track(50, 0, 0, 0), 10, 80.0f);
    EXPECT_EQ(empty.semitone, 0);
    EXPECT_FALSE(acceptTrack(empty));
}

TEST(Recognise, NamesBelowC1KeepTheSignOfTheRemainder) {
    EXPECT_EQ(noteName(analyseTrack(track(0, 4, 30.0f, 1), 10, 1).semitone), "c-0");
    EXPECT_EQ(noteName(analyseTrack(track(0, 4, 16.0f, 1), 10, 1).semitone), "b-0");
    EXPECT_EQ(noteName(-12), "c--1");
    EXPECT_EQ(noteName(36), "c-3");
    EXPECT_EQ(noteName(61), "c#5");
    EXPECT_EQ(noteName(0), "c-0");
    EXPECT_EQ(noteName(103), "g-8");
}

TEST(Recognise, ConsoleLinePerAcceptedNote) {
    PeakTable t;
    t.records = {track(100, 50, 440.0f, 80.0f), track(0, 3, 440.0f, 80.0f),
                 track(10, 5, 1000.0f, 60.0f)};
    std::FILE* out = std::tmpfile();
    std::vector<NoteRecord> notes = recogniseNotes(t, 10, 80.0f, out);
    EXPECT_EQ(slurp(out), "\n..Recognized notes\na-3 | 100-600 [ms] | vol:126 | 0,0/510 [ms]\n");
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].name, "a-3");
}

}  // namespace
}  // namespace sonvola
