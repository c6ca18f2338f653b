// Transcription scores on hand-made cases worked out by hand.
#include "tools/evaluate.h"

#include <gtest/gtest.h>

#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

TEST(Evaluate, PerfectEstimateScoresOne) {
    const std::vector<EvalNote> ref{{0.0, 0.5, 60}, {0.5, 1.0, 62}};
    const EvalScores s = evaluateNotes(ref, ref, {});
    EXPECT_EQ(s.matched, 2);
    EXPECT_DOUBLE_EQ(s.f1, 1.0);
}

TEST(Evaluate, OnsetAndPitchTolerances) {
    const std::vector<EvalNote> ref{{1.0, 2.0, 60}};
    EXPECT_EQ(evaluateNotes(ref, {{1.05, 2.0, 60}}, {}).matched, 1);   // 50 ms: in
    EXPECT_EQ(evaluateNotes(ref, {{1.051, 2.0, 60}}, {}).matched, 0);  // 51 ms: out
    EXPECT_EQ(evaluateNotes(ref, {{1.0, 2.0, 60.5}}, {}).matched, 1);  // 50 cents: in
    EXPECT_EQ(evaluateNotes(ref, {{1.0, 2.0, 61}}, {}).matched, 0);
}

TEST(Evaluate, OffsetsWithinTwentyPercentOrFiftyMilliseconds) {
    EvalTolerances t;
    t.offsets = true;
    // A 2 s note: offsets within 0.4 s.
    EXPECT_EQ(evaluateNotes({{0.0, 2.0, 60}}, {{0.0, 2.39, 60}}, t).matched, 1);
    EXPECT_EQ(evaluateNotes({{0.0, 2.0, 60}}, {{0.0, 2.41, 60}}, t).matched, 0);
    // A 0.1 s note: 50 ms, not 20 ms.
    EXPECT_EQ(evaluateNotes({{0.0, 0.1, 60}}, {{0.0, 0.14, 60}}, t).matched, 1);
}

TEST(Evaluate, OneToOneMaximumMatching) {
    // Two reference notes close together, two estimates: greedy pairing of
    // the first estimate with the first reference would leave the second
    // reference without a partner; the maximum matching pairs both.
    const std::vector<EvalNote> ref{{1.00, 2, 60}, {1.06, 2, 60}};
    const std::vector<EvalNote> est{{1.03, 2, 60}, {0.98, 2, 60}};
    const EvalScores s = evaluateNotes(ref, est, {});
    EXPECT_EQ(s.matched, 2);
    // One estimate cannot count for two references.
    const EvalScores one = evaluateNotes(ref, {{1.03, 2, 60}}, {});
    EXPECT_EQ(one.matched, 1);
    EXPECT_DOUBLE_EQ(one.precision, 1.0);
    EXPECT_DOUBLE_EQ(one.recall, 0.5);
    EXPECT_NEAR(one.f1, 2.0 / 3.0, 1e-12);
}

TEST(Evaluate, ScoresOfAWorkedCase) {
    // Reference: 4 notes. Estimate: 3 right (one of them an octave ghost
    // pair: the ghost is wrong) and 2 wrong: precision 3/5, recall 3/4.
    const std::vector<EvalNote> ref{{0, 1, 60}, {1, 2, 62}, {2, 3, 64}, {3, 4, 65}};
    const std::vector<EvalNote> est{
        {0.01, 1, 60}, {0.01, 1, 72}, {1.02, 2, 62}, {2.04, 3, 64}, {3.2, 4, 65}};
    const EvalScores s = evaluateNotes(ref, est, {});
    EXPECT_EQ(s.matched, 3);
    EXPECT_DOUBLE_EQ(s.precision, 0.6);
    EXPECT_DOUBLE_EQ(s.recall, 0.75);
    EXPECT_NEAR(s.f1, 2 * 0.6 * 0.75 / 1.35, 1e-12);
    EXPECT_EQ(evaluateNotes({}, {}, {}).f1, 0.0);
}

TEST(Evaluate, MatchingOnAGraph) {
    EXPECT_EQ(maximumMatching({{0, 1}, {0}, {1}}, 2), 2);
    EXPECT_EQ(maximumMatching({{}, {}}, 3), 0);
}

TEST(Evaluate, ReadsTextListsAndMidi) {
    test::TempDir dir;
    test::writeFile(dir.file("n.txt"), "# onset offset key\n0.5 1.0 69 A4\n\n1.0 1.5 71\n");
    std::vector<EvalNote> notes;
    std::string error;
    ASSERT_TRUE(readNotes(dir.file("n.txt"), notes, error)) << error;
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].pitch, 69);
    test::writeFile(dir.file("bad.txt"), "0.5 x 69\n");
    EXPECT_FALSE(readNotes(dir.file("bad.txt"), notes, error));
    EXPECT_NE(error.find("bad.txt:1"), std::string::npos);
    const unsigned char mid[] = {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,
                                 1,    0,    1,    0x01, 0xE0, 'M',  'T',  'r',  'k',
                                 0,    0,    0,    13,   0x60, 0x91, 0x45, 0x5A, 0x83,
                                 0x60, 0x91, 0x45, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    test::writeFile(dir.file("a.mid"), std::string(reinterpret_cast<const char*>(mid), sizeof mid));
    ASSERT_TRUE(readNotes(dir.file("a.mid"), notes, error)) << error;
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_NEAR(notes[0].onset, 0.1, 1e-9);
    EXPECT_NEAR(notes[0].offset, 0.6, 1e-9);
    EXPECT_FALSE(readNotes(dir.file("none.mid"), notes, error));
}

}  // namespace
}  // namespace sonvola
