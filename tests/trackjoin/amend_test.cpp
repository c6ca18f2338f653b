#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "tests/support/peaktables.h"
#include "tests/support/streams.h"
#include "trackjoin/linking.h"

namespace sonvola {
namespace {

using test::makeTable;
using test::RecordRows;

using test::slurp;

// A lump of `count` entries of (freq, level).
RecordRows lump(int32_t label, int count, float freq, float level) {
    return {label, std::vector<std::pair<float, float>>(static_cast<size_t>(count), {freq, level})};
}

std::string amended(PeakTable& t, int32_t frameRate, int32_t shortest, int64_t* merges = nullptr) {
    std::FILE* console = std::tmpfile();
    int64_t m = amendLumps(t, frameRate, shortest, console);
    if (merges) *merges = m;
    return slurp(console);
}

TEST(Amend, GapOfOneFrameMergesWithARepeatedEntry) {
    PeakTable t = makeTable({lump(100, 10, 440.0f, -20.0f), lump(110, 3, 441.0f, -21.0f)});
    int64_t merges = 0;
    EXPECT_EQ(amended(t, 10, 15, &merges), "\tAmended 1 times\n\tAmended 0 times\n");
    EXPECT_EQ(merges, 1);
    ASSERT_EQ(t.count(0), 14);  // 10 + U (1) + 3
    EXPECT_EQ(t.at(0).freqs[10], 440.0f);
    EXPECT_EQ(t.at(0).freqs[11], 441.0f);
    EXPECT_EQ(t.count(1), 0);
    EXPECT_EQ(t.at(1).label, 110);  // the label stays
}

TEST(Amend, FarOrOverlappingLumpsDoNotMerge) {
    PeakTable far = makeTable({lump(0, 5, 440.0f, -20.0f), lump(70, 5, 440.0f, -20.0f)});  // U = 66
    EXPECT_EQ(amended(far, 10, 15), "\tAmended 0 times\n");
    PeakTable overlap =
        makeTable({lump(0, 70, 440.0f, -20.0f), lump(60, 5, 440.0f, -20.0f)});  // U = -9
    EXPECT_EQ(amended(overlap, 10, 15), "\tAmended 0 times\n");
    EXPECT_EQ(overlap.count(1), 5);
}

TEST(Amend, InterpolationStepsFromTheValueJustAppended) {
    // 60 _tempo 32: 125 ms; U = 10 - 0 - 8 + 1 = 3.
    PeakTable t = makeTable({lump(0, 8, 440.0f, -20.0f), lump(10, 2, 446.0f, -20.0f)});
    amended(t, 10, shortestPeakMs(60, 32));
    ASSERT_EQ(t.count(0), 13);
    EXPECT_EQ(t.at(0).freqs[8], 440.0f);
    EXPECT_EQ(t.at(0).freqs[9], 442.0f);
    EXPECT_EQ(t.at(0).freqs[10], static_cast<float>(442.0 - (442.0 - 446.0) * 2.0 / 3.0));
    EXPECT_EQ(t.at(0).freqs[11], 446.0f);
    EXPECT_EQ(t.at(0).levels[10], -20.0f);
    std::FILE* out = std::tmpfile();
    writeStrongLumps(t, -10.0f, -30.0f, out);
    EXPECT_EQ(slurp(out),
              "0: 440.00 -20.00 440.00 -20.00 440.00 -20.00 440.00 -20.00 440.00 -20.00 "
              "440.00 -20.00 440.00 -20.00 440.00 -20.00 440.00 -20.00 442.00 -20.00 "
              "444.67 -20.00 446.00 -20.00 446.00 -20.00 end\nend_of_file");
}

TEST(Amend, JointCostOfFifteenDoesNotMerge) {
    PeakTable t = makeTable({lump(100, 10, 440.0f, -20.0f), lump(110, 3, 450.0f, -25.0f)});
    EXPECT_EQ(amended(t, 10, 15), "\tAmended 0 times\n");
    PeakTable u = makeTable({lump(100, 10, 440.0f, -20.0f), lump(110, 3, 450.0f, -24.5f)});
    EXPECT_EQ(amended(u, 10, 15), "\tAmended 1 times\n\tAmended 0 times\n");  // 14
}

// Found by fuzzing: a header without a frame shift (FrameRate 0) and a huge
// label made every gap "short" and bridged it with 2^31 entries.
TEST(Amend, NoFrameShiftOrHugeGapBridgesNothing) {
    PeakTable t = makeTable({lump(40, 2, 443.0f, 29.0f), lump(2147483647, 2, 443.0f, 29.0f)});
    EXPECT_EQ(amended(t, 0, 15), "\tAmended 0 times\n");
    PeakTable u = makeTable({lump(0, 1, 440.0f, -20.0f), lump(10 * 20000, 1, 440.0f, -20.0f)});
    EXPECT_EQ(amended(u, 10, INT32_MAX), "\tAmended 0 times\n");
    EXPECT_EQ(u.count(0), 1);
    PeakTable v =
        makeTable({lump(0, 1, 440.0f, -20.0f), lump(9000, 1, 440.0f, -20.0f)});  // U = 9000
    EXPECT_EQ(amended(v, 10, INT32_MAX), "\tAmended 1 times\n\tAmended 0 times\n");
    EXPECT_EQ(v.count(0), 1 + 9000 + 1);
}

TEST(Amend, EmptyListPrintsOneSweep) {
    PeakTable t;
    EXPECT_EQ(amended(t, 10, 15), "\tAmended 0 times\n");
}

TEST(StrongLumps, ThresholdIsTheMeanOfMaxAndMin) {
    PeakTable t = makeTable({lump(0, 2, 440.0f, -33.0f),
                             lump(10, 2, 441.0f, -33.01f),
                             {20, {{500.0f, -50.0f}, {500.0f, -32.0f}}}});
    std::FILE* out = std::tmpfile();
    EXPECT_EQ(writeStrongLumps(t, -3.0f, -63.0f, out), 2);
    EXPECT_EQ(slurp(out),
              "0: 440.00 -33.00 440.00 -33.00 end\n20: 500.00 -50.00 500.00 -32.00 end\n"
              "end_of_file");
}

// A long random list of lumps in label order, like a recording's.
PeakTable randomLumps(unsigned seed, int count) {
    std::mt19937 g(seed);
    std::uniform_int_distribution<int> step(0, 4), len(1, 12), semis(0, 3);
    std::uniform_real_distribution<float> jitter(-6.0f, 6.0f);
    std::vector<RecordRows> specs;
    int label = 0;
    for (int i = 0; i < count; ++i) {
        label += 10 * step(g);
        RecordRows s{label, {}};
        const float base = 220.0f * static_cast<float>(1 << semis(g));
        for (int e = len(g); e > 0; --e) s.pairs.push_back({base + jitter(g), -20.0f + jitter(g)});
        specs.push_back(std::move(s));
    }
    return makeTable(specs);
}

TEST(Amend, OrderedScanGivesTheSameLumpsAsTheFullScan) {
    for (int32_t shortest : {15, 125, 250}) {
        PeakTable fast = randomLumps(42, 6000);
        PeakTable full = fast;
        std::FILE* c1 = std::tmpfile();
        std::FILE* c2 = std::tmpfile();
        const int64_t m1 = amendLumps(fast, 10, shortest, c1);
        const int64_t m2 = amendLumpsFullScan(full, 10, shortest, c2);
        EXPECT_GT(m1, 20) << shortest;  // the case exercises merging
        EXPECT_EQ(m1, m2);
        EXPECT_EQ(slurp(c1), slurp(c2));
        std::FILE* o1 = std::tmpfile();
        std::FILE* o2 = std::tmpfile();
        writeStrongLumps(fast, 0.0f, -40.0f, o1);
        writeStrongLumps(full, 0.0f, -40.0f, o2);
        EXPECT_EQ(slurp(o1), slurp(o2));
    }
}

TEST(Amend, LabelsOutOfOrderStillMergeLikeTheFullScan) {
    PeakTable t = makeTable({lump(100, 10, 440.0f, -20.0f), lump(500, 2, 440.0f, -20.0f),
                             lump(110, 2, 441.0f, -20.0f)});
    PeakTable full = t;
    amended(t, 10, 15);
    std::FILE* c = std::tmpfile();
    amendLumpsFullScan(full, 10, 15, c);
    std::fclose(c);
    EXPECT_EQ(t.count(0), 13);
    EXPECT_EQ(t.count(2), 0);
    EXPECT_EQ(full.count(0), 13);
}

}  // namespace
}  // namespace sonvola

namespace sonvola {
namespace {

// The input that found it, run as the fuzz target runs it.
TEST(Amend, FuzzFindingNoFrameShiftStaysSmall) {
    const std::string path =
        std::string(SONVOLA_SOURCE_DIR) + "/tests/data/trackjoin-no-frame-shift.txt";
    const PeakFileHeader h = readPeakHeader(path);
    EXPECT_EQ(h.frameRate, 0);
    std::FILE* f = std::fopen(path.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    PeakTable t;
    const Status read = readPeakRecords(f, path, t);
    ASSERT_TRUE(read.ok()) << read.message();
    std::fclose(f);
    std::FILE* console = std::tmpfile();
    EXPECT_EQ(amendLumps(t, h.frameRate, INT32_MAX, console), 0);
    std::fclose(console);
    int64_t entries = 0;
    for (const auto& r : t.records) entries += r.count();
    EXPECT_LT(entries, 100);
}

}  // namespace
}  // namespace sonvola
