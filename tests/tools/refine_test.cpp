// The refinement rules, one by one, and the score round trip.
#include "tools/refine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>

namespace sonvola {
namespace {

using Notes = std::vector<ScoreNote>;

std::vector<int> keys(const Notes& notes) {
    std::vector<int> k;
    for (const auto& n : notes) k.push_back(n.key);
    return k;
}

TEST(Ghosts, PartialsOfALouderNoteGo) {
    const Notes notes{{0, 500, 57, 120}, {0, 480, 69, 100}, {10, 470, 76, 90}, {0, 500, 81, 80}};
    EXPECT_EQ(keys(removeHarmonicGhosts(notes)), (std::vector<int>{57}));
}

TEST(Ghosts, RealOctavesAndChordsStay) {
    // Starts clearly earlier, outlasts the lower note, or is far louder.
    EXPECT_EQ(removeHarmonicGhosts({{100, 500, 57, 100}, {0, 500, 69, 100}}).size(), 2u);
    EXPECT_EQ(removeHarmonicGhosts({{0, 500, 57, 100}, {0, 900, 69, 100}}).size(), 2u);
    EXPECT_EQ(removeHarmonicGhosts({{0, 500, 57, 50}, {0, 500, 69, 120}}).size(), 2u);
    // A fifth or a third is no partial interval.
    EXPECT_EQ(removeHarmonicGhosts({{0, 500, 60, 100}, {0, 500, 67, 90}, {0, 500, 64, 90}}).size(),
              3u);
    // A short overlap is no partial either.
    EXPECT_EQ(removeHarmonicGhosts({{0, 100, 57, 100}, {50, 600, 69, 90}}).size(), 2u);
}

TEST(Ghosts, LoudPartialsCountAgainstTheirFamily) {
    // A brass-like note: partials 2 and 4 far louder than the fundamental,
    // partial 3 louder still than the fundamental plus the margin.
    const Notes notes{{0, 500, 68, 59}, {0, 500, 80, 103}, {0, 500, 87, 109}, {0, 500, 92, 101}};
    EXPECT_EQ(keys(removeHarmonicGhosts(notes)), (std::vector<int>{68}));
}

TEST(MissingFundamental, PartialsTwoThreeAndFiveStandForTheBassNote) {
    const Notes notes{{900, 1400, 46, 102}, {905, 1400, 53, 97}, {910, 1380, 62, 77}};
    const Notes with = addMissingFundamentals(notes);
    ASSERT_EQ(with.size(), 4u);
    const auto added =
        std::find_if(with.begin(), with.end(), [](const ScoreNote& n) { return n.key == 34; });
    ASSERT_NE(added, with.end());
    EXPECT_EQ(added->onsetMs, 900);
    EXPECT_EQ(added->offsetMs, 1400);
    EXPECT_EQ(added->velocity, 102);
    EXPECT_EQ(keys(removeHarmonicGhosts(with)), (std::vector<int>{34}));
    // Above G2 only partials alone count: C4 E4 G4 is a chord, not partials of C3.
    EXPECT_EQ(
        addMissingFundamentals({{0, 500, 60, 100}, {0, 500, 64, 90}, {0, 500, 67, 80}}).size(), 3u);
    // Two partials alone count when the higher is the louder (brass) ...
    EXPECT_EQ(addMissingFundamentals({{0, 500, 80, 103}, {0, 500, 87, 109}}).size(), 3u);
    // ... not a note with a weaker companion a fifth above.
    EXPECT_EQ(addMissingFundamentals({{0, 500, 69, 120}, {0, 500, 76, 80}}).size(), 2u);
    // A fundamental that sounds is not added again.
    EXPECT_EQ(
        addMissingFundamentals({{0, 500, 68, 59}, {0, 500, 80, 103}, {0, 500, 87, 109}}).size(),
        3u);
}

TEST(Ghosts, TheFundamentalStartsWithItsEarliestPartial) {
    // A low note's partials are resolved before the note itself: once they
    // are removed, the note starts where they started.
    const Notes kept = removeHarmonicGhosts(
        {{2645, 2990, 34, 102}, {2600, 2990, 46, 103}, {2610, 2990, 53, 99}, {2590, 2990, 58, 98}});
    ASSERT_EQ(keys(kept), (std::vector<int>{34}));
    EXPECT_EQ(kept[0].onsetMs, 2600);  // 58 is taken for a partial of 46, itself one of 34
    // A note that keeps its partials as notes of their own keeps its onset.
    const Notes chord = removeHarmonicGhosts({{100, 500, 57, 100}, {0, 500, 69, 100}});
    EXPECT_EQ(chord[0].onsetMs, 100);
}

TEST(MissingFundamental, ScatteredPartialsOfALowNote) {
    // E1 (28) as the analysis sees it: its 2nd partial only as a flicker,
    // partials 4 and 6 long, a flicker a semitone below.
    const Notes bass{
        {3740, 4209, 52, 110}, {3790, 3840, 40, 115}, {3820, 3950, 59, 87}, {3820, 3859, 27, 114}};
    const Notes with = addMissingFundamentals(bass);
    const auto added =
        std::find_if(with.begin(), with.end(), [](const ScoreNote& n) { return n.key == 28; });
    ASSERT_NE(added, with.end());
    EXPECT_EQ(added->onsetMs, 3740);
    EXPECT_EQ(added->offsetMs, 4209);
    // A chord with a tone that is no partial (F3 A3 C4 F4 against F2) stays a chord.
    EXPECT_EQ(addMissingFundamentals(
                  {{0, 800, 53, 110}, {0, 800, 57, 100}, {0, 800, 60, 100}, {0, 800, 65, 90}})
                  .size(),
              4u);
    // C4 E4 G4 C5 are partials 4, 5, 6 and 8 of C2, and G3 C4 E4 partials 3,
    // 4 and 5, but without the 2nd partial they are chords.
    EXPECT_EQ(
        addMissingFundamentals({{0, 800, 55, 100}, {0, 800, 60, 100}, {0, 800, 64, 100}}).size(),
        3u);
    EXPECT_EQ(addMissingFundamentals(
                  {{0, 800, 60, 100}, {0, 800, 64, 100}, {0, 800, 67, 100}, {0, 800, 72, 90}})
                  .size(),
              4u);
}

TEST(Flickers, NotesShorterThanTheAnalysisCanMeanGo) {
    const Notes kept = removeFlickers({{0, 59, 40, 100}, {100, 160, 41, 100}, {200, 201, 42, 100}});
    EXPECT_EQ(keys(kept), (std::vector<int>{41}));
}

TEST(Latency, FromTheAnalysisParameters) {
    EXPECT_EQ(analysisLatencyMs(10, 512, true), 35);     // d = 3: 30 + 5
    EXPECT_EQ(analysisLatencyMs(10, 512, false), 5);     // no estimation: d = 0
    EXPECT_EQ(analysisLatencyMs(5, 512, true), 43);      // d = 8: 40 + 2.5
    EXPECT_EQ(analysisEndLatencyMs(10, 512, true), 61);  // 30 + 2/3 x 46.4
    const Notes shifted = shiftEarlier({{20, 500, 60, 90}, {1000, 1300, 62, 90}}, 35, 76);
    EXPECT_EQ(shifted[0].onsetMs, 0);  // never before the start
    EXPECT_EQ(shifted[1].onsetMs, 965);
    EXPECT_EQ(shifted[1].offsetMs, 1224);
}

TEST(Merge, SplitNoteJoinsRepeatedNoteStays) {
    // A quieter continuation after a dropout joins.
    Notes m = mergeSplitNotes({{0, 400, 60, 100}, {420, 800, 60, 80}});
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].offsetMs, 800);
    // A note struck again (as loud) stays two notes; so does a quieter note
    // after a pause a repeated note leaves.
    EXPECT_EQ(mergeSplitNotes({{0, 400, 60, 100}, {410, 800, 60, 100}}).size(), 2u);
    EXPECT_EQ(mergeSplitNotes({{0, 400, 60, 100}, {430, 800, 60, 80}}).size(), 2u);
    // Overlapping notes of one pitch are one note.
    EXPECT_EQ(mergeSplitNotes({{0, 400, 60, 60}, {200, 800, 60, 100}}).size(), 1u);
}

TEST(RefineScore, ReadsAndWritesNoteFindsLayout) {
    const std::string text =
        "tracks 2\n\ntrack{\n0   tempo 96\n0   rhythm 3 / 4\n}\n\ntrack{\n0   tone 41\n"
        "100   a-3 126\n0   a-4 104\n500   a-3 0\n0   a-4 0\n}\n";
    const Result<RefineScore> read = readRefineScore(text);
    ASSERT_TRUE(read.ok()) << read.message();
    const RefineScore& s = *read;
    EXPECT_EQ(s.tempo, "96");
    EXPECT_EQ(s.program, "41");
    ASSERT_EQ(s.notes.size(), 2u);
    EXPECT_EQ(s.notes[1].key, 81);
    EXPECT_EQ(writeRefineScore(s), text);
    const RefineScore r = refineScore(s, {});
    ASSERT_EQ(r.notes.size(), 1u);  // the octave ghost is gone
    EXPECT_EQ(writeRefineScore(r),
              "tracks 2\n\ntrack{\n0   tempo 96\n0   rhythm 3 / 4\n}\n\ntrack{\n0   tone 41\n"
              "65   a-3 126\n474   a-3 0\n}\n");
    EXPECT_FALSE(readRefineScore("tracks 1 track{ 0 a-3 90").ok());
    EXPECT_FALSE(readRefineScore("hello").ok());
    // Found by fuzzing: a delta beyond the 64-bit range overflowed the clock.
    EXPECT_FALSE(
        readRefineScore("tracks 1 track{ 0 a-3 126 " + std::string(70, '6') + " a-3 0 }").ok());
    EXPECT_FALSE(readRefineScore("tracks 1 track{ -5 a-3 126 }").ok());
}

}  // namespace
}  // namespace sonvola

namespace sonvola {
namespace {

TEST(RefineScore, FuzzFindingHugeDeltaIsRefused) {
    std::ifstream in(std::string(SONVOLA_SOURCE_DIR) + "/tests/data/refine-huge-delta.txt",
                     std::ios::binary);
    ASSERT_TRUE(in);
    std::ostringstream text;
    text << in.rdbuf();
    // Its tempo word is garbled too, which is now refused first.
    const Result<RefineScore> garbled = readRefineScore(text.str());
    EXPECT_FALSE(garbled.ok());
    EXPECT_NE(garbled.message().find("tempo"), std::string::npos) << garbled.message();
    // The huge delta itself, in an otherwise good score.
    const std::string huge =
        "tracks 1\ntrack{\n0 tempo 120\n"
        "666666666666666666666666666666666666666660 a-3 90\n}\n";
    const Result<RefineScore> refused = readRefineScore(huge);
    EXPECT_FALSE(refused.ok());
    EXPECT_NE(refused.message().find("too long"), std::string::npos) << refused.message();
}

}  // namespace
}  // namespace sonvola
