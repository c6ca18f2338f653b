// The stage buttons: preconditions, argument words and messages.
#include "frontend/core/launcher.h"

#include <gtest/gtest.h>

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
        playback.onOpenFile();
    }
    // The stored strings come from the fields at each take-over; the fake
    // window takes the file field only, so set the others directly.
    const test::FakeStarter::Start& last() const { return starter.starts.back(); }
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

TEST(joinArguments, EachTextAndOneBlankUpToTheListEnd) {
    EXPECT_EQ(joinArguments({"a", "b c", " ", "d"}, ListEnd::AtBlank), "a b c ");
    EXPECT_EQ(joinArguments({"a", "", "d", " "}, ListEnd::AtBlank), "a  d ");
    EXPECT_EQ(joinArguments({"a", "", "d", ""}, ListEnd::AtEmpty), "a ");
    EXPECT_EQ(joinArguments({}, ListEnd::AtEmpty), "");
}

TEST(SplitCommandLine, BlanksSeparateQuotesGroup) {
    EXPECT_EQ(splitCommandLine("\"/music/my song.wav\" 10 _msec  512\t_点 "),
              (Words{"/music/my song.wav", "10", "_msec", "512", "_点"}));
    EXPECT_EQ(splitCommandLine("\"\" x"), (Words{"", "x"}));
    EXPECT_EQ(splitCommandLine("a\\b \"c\\\"d\" e\\\\\"f g\""), (Words{"a\\b", "c\"d", "e\\f g"}));
    EXPECT_TRUE(splitCommandLine("   ").empty());
}

TEST(Launcher, DefaultFieldsGiveEachStageItsWords) {
    Rig r;
    r.openRecording();
    r.launcher.onRunSpecScan();
    ASSERT_EQ(r.starter.starts.size(), 1u);
    EXPECT_EQ(r.last().program, "/opt/sonvola/SpecScan");
    EXPECT_EQ(r.last().words, (Words{"/music/my song.wav", "10", "_msec", "512", "_点", "4096",
                                     "_点", "ハミング窓"}));
    test::writeFile(r.work.file("SpecScan.txt"),
                    test::peakFileText(1, 2, 10, 0, "/music/my song.wav", {}));
    r.launcher.onRunTrackJoin();
    EXPECT_EQ(r.last().program, "/opt/sonvola/TrackJoin");
    EXPECT_EQ(r.last().words, (Words{"120", "_tempo", "128", "_分音符"}));
    test::writeFile(r.work.file("TrackJoin.txt"), "x");
    r.launcher.onRunNoteFind();
    EXPECT_EQ(r.last().words, (Words{"120", "_tempo", "128", "_分音符", "4", "/", "4", "1"}));
    // ScoreToSmf converts the score of the recording SpecScan.txt names.
    const std::string song = r.work.file("my song.wav");
    test::writeFile(r.work.file("SpecScan.txt"), test::peakFileText(1, 2, 10, 0, song, {}));
    test::writeFile(song + ".txt", "tracks 0\n");
    r.launcher.onRunScoreToSmf();
    EXPECT_EQ(r.last().program, "/opt/sonvola/ScoreToSmf");
    EXPECT_EQ(r.last().words, (Words{song + ".txt", song + ".mid"}));
    EXPECT_TRUE(r.window.errors.empty());
}

TEST(Launcher, EmptiedFieldsShiftOrEndTheLists) {
    Rig r;
    r.openRecording();
    r.fields.frameShift.clear();
    EXPECT_EQ(r.launcher.specScanArguments(),
              "\"/music/my song.wav\"  512 _点 4096 _点 ハミング窓 ");
    r.fields.frameShift = "10 _msec";
    r.fields.timeSignature.clear();
    EXPECT_EQ(r.launcher.noteFindArguments(), "120 _tempo 128 _分音符 ");
    EXPECT_EQ(splitCommandLine(r.launcher.noteFindArguments()),
              (Words{"120", "_tempo", "128", "_分音符"}));
}

TEST(Launcher, SpecScanNeedsAnOpenDeviceEvenWithAValidPathTyped) {
    Rig r;
    r.window.typedFileName = "/music/my song.wav";
    r.launcher.onRunSpecScan();
    EXPECT_TRUE(r.starter.starts.empty());
    EXPECT_EQ(r.window.errors, (std::vector<std::string>{kNoWaveMessage}));
}

TEST(Launcher, MissingPeakListsAreReported) {
    Rig r;
    r.launcher.onRunTrackJoin();
    r.launcher.onRunNoteFind();
    EXPECT_TRUE(r.starter.starts.empty());
    EXPECT_EQ(r.window.errors, (std::vector<std::string>{kNoSpecScanMessage, kNoTrackJoinMessage}));
}

TEST(Launcher, ConvertingRefusesTheLoadedMidiFileOnly) {
    Rig r;
    const std::string song = r.work.file("my song.wav");
    test::writeFile(r.work.file("SpecScan.txt"), test::peakFileText(1, 2, 10, 0, song, {}));
    test::writeFile(song + ".txt", "tracks 0\n");
    r.fields.fileName = song + ".mid";
    r.launcher.onRunScoreToSmf();
    EXPECT_TRUE(r.starter.starts.empty());
    EXPECT_EQ(r.window.messages, (std::vector<std::string>{kMidiInUseMessage}));
    r.fields.fileName = song;
    r.launcher.onRunScoreToSmf();
    EXPECT_EQ(r.starter.starts.size(), 1u);
}

TEST(Launcher, ConvertingWithoutAScoreSaysWhatToRunFirst) {
    Rig r;
    r.launcher.onRunScoreToSmf();  // a fresh start: nothing analysed yet
    const std::string song = r.work.file("my song.wav");
    test::writeFile(r.work.file("SpecScan.txt"), test::peakFileText(1, 2, 10, 0, song, {}));
    r.launcher.onRunScoreToSmf();  // analysed, but no score yet
    EXPECT_TRUE(r.starter.starts.empty());
    EXPECT_EQ(r.window.errors,
              (std::vector<std::string>{kNoSpecScanMessage, noScoreMessage(song + ".txt")}));
}

TEST(Launcher, FieldsAreCheckedBeforeAStageStarts) {
    struct Case {
        Stage stage;
        std::string FieldTexts::*field;
        std::string text, named;
    };
    const std::vector<Case> cases = {
        {Stage::SpecScan, &FieldTexts::fileName, "", "ファイル名"},
        {Stage::SpecScan, &FieldTexts::frameShift, "0.5 _msec", "フレームシフト間隔"},
        {Stage::SpecScan, &FieldTexts::frameShift, "", "フレームシフト間隔"},
        {Stage::SpecScan, &FieldTexts::frameLength, "abc", "フレーム長"},
        {Stage::SpecScan, &FieldTexts::frameLength, "51O _点", "フレーム長"},
        {Stage::SpecScan, &FieldTexts::zeroPadLength, "1000 _点", "0づめしたフレーム長"},
        {Stage::SpecScan, &FieldTexts::zeroPadLength, "256 _点", "0づめしたフレーム長"},
        {Stage::SpecScan, &FieldTexts::window, "hamming", "窓関数"},
        {Stage::TrackJoin, &FieldTexts::tempo, "0 _tempo", "演奏速度"},
        {Stage::TrackJoin, &FieldTexts::tempo, "12O _tempo", "演奏速度"},
        {Stage::TrackJoin, &FieldTexts::shortestNote, "-8 _分音符", "最短音価"},
        {Stage::NoteFind, &FieldTexts::timeSignature, "3/4", "拍子"},
        {Stage::NoteFind, &FieldTexts::timeSignature, "3 / 5", "拍子"},
        {Stage::NoteFind, &FieldTexts::timeSignature, "0 / 4", "拍子"},
        {Stage::NoteFind, &FieldTexts::program, "200", "GM音色番号"},
        {Stage::NoteFind, &FieldTexts::program, "", "GM音色番号"}};
    for (const Case& c : cases) {
        FieldTexts f;
        resetParameters(f);
        f.fileName = "/music/my song.wav";
        EXPECT_TRUE(checkFields(c.stage, f).ok()) << "the defaults pass";
        f.*c.field = c.text;
        const Status checked = checkFields(c.stage, f);
        ASSERT_FALSE(checked.ok()) << c.text;
        const std::string& problem = checked.message();
        EXPECT_EQ(problem.rfind(c.named, 0), 0u) << problem;
        if (!c.text.empty()) {
            EXPECT_NE(problem.find("「" + c.text + "」"), std::string::npos) << problem;
        }
    }
    // The buttons show the problem and start nothing.
    Rig r;
    r.openRecording();
    r.fields.window = "hamming";
    r.launcher.onRunSpecScan();
    test::writeFile(r.work.file("SpecScan.txt"), "x");
    r.fields.tempo = "0 _tempo";
    r.launcher.onRunTrackJoin();
    EXPECT_TRUE(r.starter.starts.empty());
    ASSERT_EQ(r.window.errors.size(), 2u);
    EXPECT_EQ(r.window.errors[0].rfind("窓関数「hamming」", 0), 0u);
    EXPECT_EQ(r.window.errors[1].rfind("演奏速度「0 _tempo」", 0), 0u);
}

TEST(Launcher, LongTextsPassWhole) {
    Rig r;
    const std::string path = "/music/" + std::string(400, 'x') + ".wav";
    r.device.openable = {path};
    r.window.nextChoice = path;
    r.playback.onOpenFile();
    r.launcher.onRunSpecScan();
    EXPECT_EQ(r.last().words.front(), path);
}

TEST(Launcher, AProgramThatCannotStartIsReported) {
    Rig r;
    r.openRecording();
    r.starter.fail = true;
    r.launcher.onRunSpecScan();
    EXPECT_EQ(r.window.errors, (std::vector<std::string>{kStartFailedMessage}));
}

// The stage commands in one place: what each button starts, and the four
// commands of running every stage in one go with its one precondition.

TEST(StageCommands, TheButtonsStartWhatStageCommandBuilds) {
    Rig r;
    r.openRecording();
    r.leaveOldPeakList();
    r.fields.tempo = "96 _tempo";
    r.launcher.onRunSpecScan();
    EXPECT_EQ(r.started(), r.launcher.stageCommand(Stage::SpecScan));
    r.launcher.onRunTrackJoin();
    EXPECT_EQ(r.started(), r.launcher.stageCommand(Stage::TrackJoin));
    EXPECT_EQ(r.started().words, (Words{"96", "_tempo", "128", "_分音符"}));
    r.launcher.onRunNoteFind();
    EXPECT_EQ(r.started(), r.launcher.stageCommand(Stage::NoteFind));
    r.launcher.onRunScoreToSmf();
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
    r.fields.shortestNote = "64 _分音符";
    const std::vector<StageCommand> all = r.launcher.runAllCommands();
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1].words, (Words{"120", "_tempo", "64", "_分音符"}));
    EXPECT_EQ(all[2].words, (Words{"120", "_tempo", "64", "_分音符", "4", "/", "4", "1"}));
}

}  // namespace
}  // namespace sonvola
