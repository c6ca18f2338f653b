// NoteFind as a user runs it, on linked peak lists written by the tests.
#include <gtest/gtest.h>

#include <filesystem>

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

ProcessResult noteFind(const TempDir& work, std::vector<std::string> args) {
    return test::runStage("NoteFind", work.path(), std::move(args));
}

const std::vector<std::string> kArgs = {"120", "_tempo", "128", "_分音符", "4", "/", "4", "1"};

TEST(NoteFindProgram, WritesTheScoreBesideTheRecording) {
    TempDir dir;
    const std::string wav = dir.file("my song.wav");
    writeFile(dir.file("TrackJoin.txt"),
              peakFileText(
                  80, 10, 10, 100, wav,
                  {{100, std::vector<std::pair<float, float>>(50, {440.0f, 80.0f})},
                   {200, {{880.0f, 20.0f}, {880.0f, 20.0f}, {880.0f, 20.0f}, {880.0f, 20.0f}}}}));
    ProcessResult r = noteFind(dir, kArgs);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out,
              "..NoteFind for successive musical cords\n\n..Argument\n"
              "Data of argv[0] is \"" +
                  binPath("NoteFind") +
                  "\".\n"
                  "Data of argv[1] is \"120\".\nData of argv[3] is \"128\".\n"
                  "Data of argv[5] is \"4\".\nData of argv[6] is \"/\".\n"
                  "Data of argv[7] is \"4\".\nData of argv[8] is \"1\".\n"
                  "\n..Calculated values\nTime of the shortest peak is 15 [msec], \n"
                  "when musical audio signal is \"" +
                  wav +
                  "\". \n"
                  "\n..Recognized notes\na-3 | 100-600 [ms] | vol:126 | 0,0/510 [ms]\n"
                  "\n..Please enter RETURN KEY.");
    EXPECT_EQ(readFile(wav + ".txt"),
              "tracks 2\n\ntrack{\n0   tempo 120\n0   rhythm 4 / 4\n}\n\n"
              "track{\n0   tone 1\n100   a-3 126\n500   a-3 0\n}\n");
}

TEST(NoteFindProgram, NoTracksGiveAScoreWithoutEvents) {
    TempDir dir;
    writeFile(dir.file("TrackJoin.txt"), peakFileText(80, 10, 10, 0, dir.file("x.wav"), {}));
    ProcessResult r = noteFind(dir, kArgs);
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("\n..Recognized notes\n\n..Please enter"), std::string::npos);
    EXPECT_TRUE(readFile(dir.file("x.wav.txt")).ends_with("track{\n0   tone 1\n}\n"));
}

TEST(NoteFindProgram, MissingArgumentsTakeTheDefaults) {
    TempDir dir;
    writeFile(dir.file("TrackJoin.txt"), peakFileText(80, 10, 10, 0, dir.file("x.wav"), {}));
    ProcessResult r = noteFind(dir, {"90", "_tempo", "128"});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Missing arguments take the defaults: 5 (4), 7 (4), 8 (1)"),
              std::string::npos);
    EXPECT_EQ(readFile(dir.file("x.wav.txt")),
              "tracks 2\n\ntrack{\n0   tempo 90\n0   rhythm 4 / 4\n}\n\ntrack{\n0   tone 1\n}\n");
}

TEST(NoteFindProgram, RefusesZeroTempoAndNoteValue) {
    TempDir dir;
    writeFile(dir.file("TrackJoin.txt"), peakFileText(80, 10, 10, 0, dir.file("x.wav"), {}));
    for (auto args : {std::vector<std::string>{"0", "_tempo", "128"},
                      std::vector<std::string>{"120", "_tempo", "0"}}) {
        ProcessResult r = noteFind(dir, args);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.out.find("must be a positive number"), std::string::npos);
    }
    EXPECT_FALSE(fileExists(dir.file("x.wav.txt")));
}

TEST(NoteFindProgram, MissingInputAndUnwritableScore) {
    TempDir dir;
    ProcessResult none = noteFind(dir, kArgs);
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.out.ends_with("err: Cannot open file:" + dir.file("TrackJoin.txt") + "\n"));
    writeFile(dir.file("TrackJoin.txt"),
              peakFileText(80, 10, 10, 0, dir.file("no such folder/x.wav"), {}));
    ProcessResult r = noteFind(dir, kArgs);
    EXPECT_EQ(r.exitCode, 1);
    // The stage's own words, then the path and the cause.
    EXPECT_NE(r.out.find("err: cannnot open file\ncannot write " +
                         dir.file("no such folder/x.wav.txt") + ": No such file or directory\n"),
              std::string::npos)
        << r.out;
}

TEST(NoteFindProgram, LongSignalNameIsKeptWhole) {
    TempDir dir;
    const std::string folder = dir.file(std::string(200, 'd'));
    std::filesystem::create_directories(folder);
    const std::string wav = folder + "/" + std::string(150, 'w') + ".wav";
    writeFile(dir.file("TrackJoin.txt"), peakFileText(80, 10, 10, 0, wav, {}));
    ASSERT_EQ(noteFind(dir, kArgs).exitCode, 0);
    EXPECT_TRUE(fileExists(wav + ".txt"));
}

}  // namespace
}  // namespace sonvola
