#include "trackjoin/linking.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "common/peakfile.h"
#include "tests/support/peaktables.h"
#include "tests/support/streams.h"

namespace sonvola {
namespace {

using test::makeTable;

struct Linked {
    std::string records;  // what linkPeaks wrote
    std::string err;
    LinkCounts counts;
    PeakTable table;
};

using test::slurp;

Linked link(PeakTable table, int32_t loopCount, int32_t frameRate = 10) {
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    Linked l;
    l.counts = linkPeaks(table, frameRate, loopCount, out, err);
    l.records = slurp(out);
    l.err = slurp(err);
    l.table = std::move(table);
    return l;
}

TEST(ConnectionCost, WholePartsOfTheAbsoluteDifferences) {
    EXPECT_EQ(connectionCost(440.0f, -20.0f, 449.9f, -20.9f), 9.0);
    EXPECT_EQ(connectionCost(440.0f, -20.0f, 440.99f, -20.99f), 0.0);
    EXPECT_EQ(connectionCost(440.0f, -20.0f, 439.01f, -19.01f), 0.0);
    EXPECT_DOUBLE_EQ(connectionCost(0.0f, 0.0f, 1e30f, -1e30f), 2.0 * static_cast<double>(1e30f));
}

TEST(LinkPeaks, WorkedExampleOfFourRecords) {
    Linked l = link(makeTable({{10, {{440.0f, -20.0f}, {880.0f, -30.0f}}},
                               {20, {{441.0f, -21.0f}, {900.0f, -30.0f}}},
                               {30, {{443.0f, -22.0f}}},
                               {40, {{445.0f, -22.0f}}}}),
                    4);
    EXPECT_EQ(l.records, "0: 440.00 -20.00 441.00 -21.00 443.00 -22.00 end\nend_of_file");
    EXPECT_EQ(l.counts.maxPeaks, 2);
    EXPECT_EQ(l.counts.lumps, 1);
    EXPECT_EQ(l.err,
              "\n\tThe number of the maximum peaks per frame     = 2"
              "\n\tThe number of the lumps which connected peaks = 1\n");
    // The three linked peaks are emptied; the others stay.
    EXPECT_EQ(l.table.at(0).freqs[0], 0.0f);
    EXPECT_EQ(l.table.at(1).levels[0], 0.0f);
    EXPECT_EQ(l.table.at(2).freqs[0], 0.0f);
    EXPECT_EQ(l.table.at(0).freqs[1], 880.0f);
    EXPECT_EQ(l.table.at(3).freqs[0], 445.0f);
}

TEST(LinkPeaks, CostsFiveTenElevenEndTheLumpAtTheElevenStep) {
    Linked l = link(makeTable({{10, {{440.0f, -20.0f}}},
                               {20, {{445.0f, -20.0f}}},
                               {30, {{455.0f, -20.0f}}},
                               {40, {{466.0f, -20.0f}}}}),
                    10);
    EXPECT_EQ(l.records, "0: 440.00 -20.00 445.00 -20.00 455.00 -20.00 end\nend_of_file");
    EXPECT_EQ(l.table.at(3).freqs[0], 466.0f);  // left for a later start
}

TEST(LinkPeaks, CostOfTenExtendsButNeverStarts) {
    Linked none = link(makeTable({{10, {{440.0f, -20.0f}}}, {20, {{450.0f, -20.0f}}}}), 5);
    EXPECT_EQ(none.records, "end_of_file");
    EXPECT_EQ(none.counts.lumps, 0);
}

TEST(LinkPeaks, EqualCostsPickTheLowerIndex) {
    Linked l = link(
        makeTable({{10, {{440.0f, -20.0f}}}, {20, {{442.0f, -20.0f}, {438.0f, -20.0f}}}, {30, {}}}),
        10);
    EXPECT_EQ(l.records.substr(0, 32), "0: 440.00 -20.00 442.00 -20.00 e");
    EXPECT_EQ(l.table.at(1).freqs[1], 438.0f);
}

TEST(LinkPeaks, LoopCountBoundAndLabelsFromTheStartRecord) {
    // LoopCount equal to R: the last record never joins.
    Linked l = link(makeTable({{0, {}},
                               {0, {}},
                               {0, {}},
                               {0, {}},
                               {0, {}},
                               {0, {}},
                               {0, {}},
                               {80, {{500.0f, -10.0f}}},
                               {90, {{501.0f, -10.0f}}},
                               {100, {{502.0f, -10.0f}}}}),
                    10);
    EXPECT_EQ(l.records, "70: 500.00 -10.00 501.00 -10.00 end\nend_of_file");
    // LoopCount 0 cuts every lump before its first member.
    Linked z = link(makeTable({{10, {{440.0f, -20.0f}}}, {20, {{440.0f, -20.0f}}}}), 0);
    EXPECT_EQ(z.records, "end_of_file");
    EXPECT_EQ(z.counts.lumps, 0);
}

TEST(LinkPeaks, NoOrOneRecordWritesNoLump) {
    for (int records : {0, 1}) {
        PeakTable t =
            records ? makeTable({{10, {{440.0f, -20.0f}, {441.0f, -20.0f}}}}) : PeakTable{};
        Linked l = link(std::move(t), 10);
        EXPECT_EQ(l.records, "end_of_file");
        EXPECT_EQ(l.counts.maxPeaks, 0);  // the last record is never a start record
        EXPECT_EQ(l.counts.lumps, 0);
    }
}

TEST(LinkPeaks, ZeroPeaksNeverJoin) {
    Linked l =
        link(makeTable({{10, {{0.0f, 0.0f}}}, {20, {{0.0f, 0.0f}}}, {30, {{0.0f, 0.0f}}}}), 10);
    EXPECT_EQ(l.records, "end_of_file");
}

// The linking rule written out plainly (every pair's cost computed), to hold
// the quicker search to it on random tables with many near and tied costs,
// low frequencies next to the zeroed pairs, and values that are not numbers.
std::string referenceLinks(PeakTable table, int32_t frameRate, int32_t loopCount) {
    auto best = [&](float f, float l, const PeakRecord& next, int32_t& index) {
        double b = 1000.0;
        for (int32_t q = 0; q < next.count(); ++q) {
            const double c = connectionCost(f, l, next.freqs[static_cast<size_t>(q)],
                                            next.levels[static_cast<size_t>(q)]);
            if (c < b) {
                b = c;
                index = q;
            }
        }
        return b;
    };
    std::string out;
    for (int64_t i = 0; i + 1 < table.size(); ++i) {
        for (int32_t p = 0; p < table.count(i); ++p) {
            int32_t ignored = 0;
            if (!(best(table.at(i).freqs[static_cast<size_t>(p)],
                       table.at(i).levels[static_cast<size_t>(p)], table.at(i + 1),
                       ignored) < 10.0))
                continue;
            std::vector<std::pair<int64_t, int32_t>> members;
            int64_t k = i;
            int32_t c = p;
            for (;;) {
                const float f = table.at(k).freqs[static_cast<size_t>(c)];
                const float l = table.at(k).levels[static_cast<size_t>(c)];
                if (f == 0.0f || k + 1 >= loopCount) break;
                int32_t next = 0;
                const double b = best(f, l, table.at(k + 1), next);
                members.push_back({k, c});
                if (b > 10.0) break;
                ++k;
                c = next;
            }
            if (members.empty()) continue;
            out += std::to_string(i * frameRate) + ": ";
            for (auto [frame, index] : members) {
                PeakRecord& r = table.records[static_cast<size_t>(frame)];
                appendFixed2(out, r.freqs[static_cast<size_t>(index)]);
                appendFixed2(out, r.levels[static_cast<size_t>(index)]);
            }
            out += "end\n";
            for (auto [frame, index] : members) {
                table.records[static_cast<size_t>(frame)].freqs[static_cast<size_t>(index)] = 0.0f;
                table.records[static_cast<size_t>(frame)].levels[static_cast<size_t>(index)] = 0.0f;
            }
        }
    }
    return out + "end_of_file";
}

TEST(LinkPeaks, EqualsThePlainRuleOnRandomTables) {
    std::mt19937 g(21);
    std::uniform_real_distribution<float> jitter(-12.0f, 12.0f);
    for (int trial = 0; trial < 200; ++trial) {
        PeakTable t;
        const int records = 2 + static_cast<int>(g() % 30);
        for (int r = 0; r < records; ++r) {
            PeakRecord rec;
            rec.label = 10 * r;
            const int pairs = static_cast<int>(g() % 7);
            for (int q = 0; q < pairs; ++q) {
                // Tracks at a few base frequencies (some near 0 Hz) that wander.
                const float base = (trial % 3 == 0 ? 4.0f : 200.0f) * static_cast<float>(g() % 4);
                float f = base + jitter(g);
                if (g() % 97 == 0) f = std::nanf("");
                rec.freqs.push_back(std::round(f * 100.0f) / 100.0f);
                rec.levels.push_back(-20.0f + std::round(jitter(g)));
            }
            t.records.push_back(std::move(rec));
        }
        const int32_t loopCount = trial % 5 == 0 ? records / 2 : records;
        const std::string want = referenceLinks(t, 10, loopCount);
        Linked l = link(std::move(t), loopCount);
        ASSERT_EQ(l.records, want) << "trial " << trial;
    }
}

TEST(ShortestPeak, FromTempoAndNoteValue) {
    EXPECT_EQ(shortestPeakMs(120, 128), 15);
    EXPECT_EQ(shortestPeakMs(60, 16), 250);
    EXPECT_EQ(shortestPeakMs(60, 32), 125);
    EXPECT_EQ(shortestPeakMs(1e-300, 1), INT32_MAX);
}

}  // namespace
}  // namespace sonvola
