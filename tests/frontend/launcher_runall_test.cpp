// The stage commands in one place: what each button starts, and the four
// commands of running every stage in one go with its one precondition.
#include <gtest/gtest.h>

#include "frontend/core/launcher.h"
#include "tests/support/fakemedia.h"
#include "tests/support/peaktables.h"
#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

using Words = std::vector<std::string>;

struct Rig {
    test::TempDir work;
    FieldTexts fields;
    test::FakeDevice device;
    test::FakeWindow window{fields};
    test::FakeStarter starter;
    Playback playback{fields, device, window};
    Launcher launcher{fields, playback, window, starter, "/opt/sonvola/", work.path() + "/"};

    Rig() {
        resetParameters(fields);
        device.openable = {"/music/my song.wav"};
        window.readable = {"/music/my song.wav"};
    }
    void openRecording() {
        window.nextChoice = "/music/my song.wav";
        playback.OnOpenFile();
    }
    // A SpecScan.txt and a score left by an earlier run on another recording.
    void leaveOldPeakList() {
        test::writeFile(work.file("SpecScan.txt"),
                        test::peakFileText(1, 2, 10, 0, work.file("old take.wav"), {}));
        test::writeFile(work.file("TrackJoin.txt"), "x");
        test::writeFile(work.file("old take.wav.txt"), "tracks 0\n");
    }
    StageCommand started() const {
        return {starter.starts.back().program, starter.starts.back().words};
    }
};

TEST(StageCommands, TheButtonsStartWhatStageCommandBuilds) {
    Rig r;
    r.openRecording();
    r.leaveOldPeakList();
    r.fields.m_strTempo = "96 _tempo";
    r.launcher.OnRunSpecScan();
    EXPECT_EQ(r.started(), r.launcher.stageCommand(Stage::SpecScan));
    r.launcher.OnRunTrackJoin();
    EXPECT_EQ(r.started(), r.launcher.stageCommand(Stage::TrackJoin));
    EXPECT_EQ(r.started().words, (Words{"96", "_tempo", "128", "_分音符"}));
    r.launcher.OnRunNoteFind();
    EXPECT_EQ(r.started(), r.launcher.stageCommand(Stage::NoteFind));
    r.launcher.OnRunScoreToSmf();
    EXPECT_EQ(r.started(), r.launcher.stageCommand(Stage::ScoreToSmf));
    // The button converts the recording SpecScan.txt names.
    EXPECT_EQ(r.started().words,
              (Words{r.work.file("old take.wav.txt"), r.work.file("old take.wav.mid")}));
    EXPECT_EQ(r.starter.starts.size(), 4u);
}

TEST(StageCommands, RunningAllNamesTheScoreAfterTheRecordingBeingAnalysed) {
    Rig r;
    r.openRecording();
    r.leaveOldPeakList();
    const std::vector<StageCommand> all = r.launcher.runAllCommands();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0], r.launcher.stageCommand(Stage::SpecScan));
    EXPECT_EQ(all[0].words.front(), "/music/my song.wav");
    EXPECT_EQ(all[1], r.launcher.stageCommand(Stage::TrackJoin));
    EXPECT_EQ(all[2], r.launcher.stageCommand(Stage::NoteFind));
    EXPECT_EQ(all[3].program, "/opt/sonvola/ScoreToSmf");
    EXPECT_EQ(all[3].words, (Words{"/music/my song.wav.txt", "/music/my song.wav.mid"}));
    // Once SpecScan has written its list, the button would start the same.
    test::writeFile(r.work.file("SpecScan.txt"),
                    test::peakFileText(1, 2, 10, 0, "/music/my song.wav", {}));
    EXPECT_EQ(all[3], r.launcher.stageCommand(Stage::ScoreToSmf));
    // Nothing is started by building the commands; only the check is made.
    EXPECT_TRUE(r.starter.starts.empty());
    EXPECT_TRUE(r.window.errors.empty());
    EXPECT_EQ(r.device.log.back(), "stop 1");
}

TEST(StageCommands, RunningAllNeedsAnOpenRecording) {
    Rig r;
    r.leaveOldPeakList();
    r.window.typedFileName = "/music/my song.wav";
    const int takeOvers = r.window.takeOvers;
    EXPECT_FALSE(r.launcher.recordingOpen());
    EXPECT_TRUE(r.launcher.runAllCommands().empty());
    EXPECT_EQ(r.window.takeOvers, takeOvers + 1);
    EXPECT_EQ(r.window.errors, (std::vector<std::string>{kNoWaveMessage}));
    r.openRecording();
    EXPECT_TRUE(r.launcher.recordingOpen());
    EXPECT_EQ(r.launcher.runAllCommands().size(), 4u);
    EXPECT_EQ(r.window.errors.size(), 1u);
}

TEST(StageCommands, RunningAllTakesTheFieldsOverFirst) {
    Rig r;
    r.openRecording();
    r.fields.m_strShortestNote = "64 _分音符";
    const std::vector<StageCommand> all = r.launcher.runAllCommands();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].words, (Words{"120", "_tempo", "64", "_分音符"}));
    EXPECT_EQ(all[2].words, (Words{"120", "_tempo", "64", "_分音符", "4", "/", "4", "1"}));
}

}  // namespace
}  // namespace sonvola
