// ScoreToSmf as a user runs it.
#include <gtest/gtest.h>

#include "common/midifile.h"
#include "tests/support/process.h"
#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

using test::binPath;
using test::fileExists;
using test::ProcessResult;
using test::readFile;
using test::runProcess;
using test::TempDir;
using test::writeFile;

const std::string kPrologueEnd =
    "\n[Automatic, chooses an endian and generates MIDI]\n\ncpuInfo:\tLITTLE Endian"
    "\n        \t32 bit architecture\n";

TEST(ScoreToSmfProgram, ConvertsAndPrintsItsPrologue) {
    TempDir dir;
    writeFile(dir.file("s.txt"),
              "tracks 2\n\ntrack{\n0   tempo 120\n0   rhythm 4 / 4\n}\n\n"
              "track{\n0   tone 1\n100   a-3 90\n500   a-3 0\n}\n");
    ProcessResult r =
        runProcess(binPath("ScoreToSmf"), {"ScoreToSmf", dir.file("s.txt"), dir.file("a b.mid")});
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out, "..Convert text into MIDI of format type 1\n\n..Argument\nTXT  : " +
                         dir.file("s.txt") + "\nMIDI : " + dir.file("a b.mid") + "\n" +
                         kPrologueEnd + "\n..Complete!\n..Please enter RETURN KEY.");
    Result<MidiFile> parsed = parseMidiFile(dir.file("a b.mid"));
    ASSERT_TRUE(parsed.ok()) << parsed.message();
    const MidiFile& f = *parsed;
    auto notes = midiNotes(f);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].key, 69);
    EXPECT_NEAR(notes[0].onsetS, 0.1, 1e-9);
    EXPECT_NEAR(notes[0].offsetS, 0.6, 1e-9);
}

TEST(ScoreToSmfProgram, RefusesMissingArgumentsAndFiles) {
    TempDir dir;
    ProcessResult few = runProcess(binPath("ScoreToSmf"), {"ScoreToSmf", dir.file("s.txt")});
    EXPECT_EQ(few.exitCode, 1);
    EXPECT_NE(few.out.find("err: usage: ScoreToSmf"), std::string::npos);
    ProcessResult none =
        runProcess(binPath("ScoreToSmf"), {"ScoreToSmf", dir.file("none.txt"), dir.file("o.mid")});
    EXPECT_EQ(none.exitCode, 1);
    EXPECT_TRUE(none.out.ends_with("err: Cannot open file:" + dir.file("none.txt") +
                                   "\nNo such file or directory\n"));
    EXPECT_FALSE(fileExists(dir.file("o.mid")));
    writeFile(dir.file("s.txt"), "tracks 1 track{ }");
    ProcessResult out = runProcess(binPath("ScoreToSmf"),
                                   {"ScoreToSmf", dir.file("s.txt"), dir.file("no/dir/o.mid")});
    EXPECT_EQ(out.exitCode, 1);
    EXPECT_NE(out.out.find("err: Cannot open file:" + dir.file("no/dir/o.mid") + "\ncannot write "),
              std::string::npos);
}

TEST(ScoreToSmfProgram, BrokenScoreExitsOneWithTheReason) {
    TempDir dir;
    writeFile(dir.file("s.txt"), "tracks 2 track{ 0 tempo 120 } track{ 0 tone 1 10 a-3");
    ProcessResult r =
        runProcess(binPath("ScoreToSmf"), {"ScoreToSmf", dir.file("s.txt"), dir.file("o.mid")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(
        r.out.ends_with("err: the score ends inside track 2, where the velocity was expected\n"));
    EXPECT_EQ(r.out.find("Complete"), std::string::npos);
}

}  // namespace
}  // namespace sonvola
