// TrackJoin as a user runs it, on peak lists written by the tests.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/support/peaktables.h"
#include "tests/support/process.h"
#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

using test::binPath;
using test::fileExists;
using test::peakFileText;
using test::ProcessResult;
using test::readFile;
using test::TempDir;
using test::writeFile;

ProcessResult trackJoin(const TempDir& work, std::vector<std::string> args) {
    return test::runStage("TrackJoin", work.path(), std::move(args));
}

const std::string kDashes(177, '-');

// Four frames of one tone, and a weak second tone that links too.
std::string toneList() {
    std::string line1 = "MaxdB: -3.00 MindB: -63.00";
    line1 += std::string(71 - line1.size(), ' ');
    return line1 + "\nFrameRate: 10 LoopCount: 6\n/music/a song.wav\n" + kDashes +
           "\n10: 440.00 -20.00 880.00 -50.00 end\n20: 441.00 -21.00 881.00 -50.00 end\n"
           "30: 443.00 -22.00 end\n40: end\n50: 444.00 -22.00 end\n60: 444.50 -22.00 end\n"
           "end_of_file";
}

TEST(TrackJoinProgram, LinksWithoutTheAmendmentPass) {
    TempDir dir;
    writeFile(dir.file("SpecScan.txt"), toneList());
    ProcessResult r = trackJoin(dir, {"120", "_Tempo", "128", "_分音符"});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out,
              "..Combine peaks by the cost minimum\n\n..Argument\n"
              "Data of argv[0] is \"" +
                  binPath("TrackJoin") +
                  "\".\n"
                  "Data of argv[1] is \"120\".\nData of argv[3] is \"128\".\n"
                  "\n..Calculated values\nTime of the shortest peak is 15 [msec], \n"
                  "when musical audio signal is \"/music/a song.wav\". \n"
                  "\n\nNo using a new technique\n..Please enter RETURN KEY.");
    EXPECT_EQ(r.err,
              "\n\tThe number of the maximum peaks per frame     = 2"
              "\n\tThe number of the lumps which connected peaks = 3\n"
              "\n..Carried out pitch extraction using connection cost");
    EXPECT_EQ(readFile(dir.file("TrackJoin.txt")),
              "MaxdB: -3.00 MindB: -63.00  \nFrameRate: 10 LoopCount: 6\n/music/a song.wav\n" +
                  kDashes +
                  "\n0: 440.00 -20.00 441.00 -21.00 443.00 -22.00 end\n"
                  "0: 880.00 -50.00 881.00 -50.00 end\n40: 444.00 -22.00 end\nend_of_file");
}

TEST(TrackJoinProgram, AmendmentPassMergesAndDropsWeakLumps) {
    TempDir dir;
    writeFile(dir.file("SpecScan.txt"), toneList());
    // 60 _tempo 4: 1000 ms. The lump labelled 40 lies U = 40 - 0 - 3 + 1 = 38
    // entries after the first one ends: 380 ms, so it is merged; the lump at
    // -50 dB is below the mean of MaxdB and MindB and is dropped.
    ProcessResult r = trackJoin(dir, {"60", "_tempo", "4", "_分音符"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Time of the shortest peak is 1000 [msec]"), std::string::npos);
    EXPECT_TRUE(
        r.out.ends_with("\n..Under proccecing\n\n\tAmended 1 times\n\tAmended 0 times\n"
                        "\n..Please enter RETURN KEY."));
    EXPECT_TRUE(r.err.ends_with("\n..Carried out a new technique"));
    const std::string text = readFile(dir.file("TrackJoin.txt"));
    const std::string head =
        "MaxdB: -3.00 MindB: -63.00  \nFrameRate: 10 LoopCount: 6\n/music/a song.wav\n" + kDashes +
        "\n0: 440.00 -20.00 441.00 -21.00 443.00 -22.00 443.00 -22.00 443.03 -22.00 ";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_TRUE(text.ends_with(" 444.00 -22.00 end\nend_of_file"));
    // 3 entries, 38 bridging ones, then the merged lump's one entry.
    const std::string record = text.substr(text.find("\n0: "));
    EXPECT_EQ(std::count(record.begin(), record.end(), ' '), 1 + 2 * 42);
    EXPECT_EQ(text.find("880.00"), std::string::npos);
}

TEST(TrackJoinProgram, EmptyPeakListGivesHeaderAndEndOfFile) {
    TempDir dir;
    writeFile(dir.file("SpecScan.txt"), peakFileText(1, 2, 10, 0, "x.wav", {}));
    ProcessResult r = trackJoin(dir, {"120", "_tempo", "128", "_分音符"});
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_EQ(readFile(dir.file("TrackJoin.txt")), peakFileText(1, 2, 10, 0, "x.wav", {}));
}

TEST(TrackJoinProgram, MissingPeakListLeavesTheOldOutputAlone) {
    TempDir dir;
    writeFile(dir.file("TrackJoin.txt"), "old");
    ProcessResult r = trackJoin(dir, {"120", "_tempo", "128", "_分音符"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.out.ends_with("err: Cannot open file:" + dir.file("SpecScan.txt") + "\n"));
    EXPECT_EQ(readFile(dir.file("TrackJoin.txt")), "old");
}

TEST(TrackJoinProgram, TruncatedPeakListIsRefused) {
    TempDir dir;
    writeFile(dir.file("SpecScan.txt"), toneList().substr(0, toneList().size() - 30));
    ProcessResult r = trackJoin(dir, {"120", "_tempo", "128", "_分音符"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("ends before \"end_of_file\""), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("TrackJoin.txt")));
}

TEST(TrackJoinProgram, RefusesMissingArgumentsAndNonPositiveNumbers) {
    TempDir dir;
    writeFile(dir.file("SpecScan.txt"), toneList());
    ProcessResult few = trackJoin(dir, {"120", "_tempo"});
    EXPECT_EQ(few.exitCode, 1);
    EXPECT_NE(few.out.find("usage: TrackJoin"), std::string::npos);
    for (auto args : std::vector<std::vector<std::string>>{
             {"0", "_tempo", "128"}, {"abc", "_tempo", "128"}, {"120", "_tempo", "-4"}}) {
        ProcessResult r = trackJoin(dir, args);
        EXPECT_EQ(r.exitCode, 1) << args[0];
        EXPECT_NE(r.out.find("must be a positive number"), std::string::npos);
    }
    EXPECT_FALSE(fileExists(dir.file("TrackJoin.txt")));
}

}  // namespace
}  // namespace sonvola
