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
        playback.OnOpenFile();
    }
    // The stored strings come from the fields at each take-over; the fake
    // window takes the file field only, so set the others directly.
    const test::FakeStarter::Start& last() const { return starter.starts.back(); }
};

TEST(JoinArguments, EachTextAndOneBlankUpToTheListEnd) {
    EXPECT_EQ(JoinArguments({"a", "b c", " ", "d"}, ListEnd::AtBlank), "a b c ");
    EXPECT_EQ(JoinArguments({"a", "", "d", " "}, ListEnd::AtBlank), "a  d ");
    EXPECT_EQ(JoinArguments({"a", "", "d", ""}, ListEnd::AtEmpty), "a ");
    EXPECT_EQ(JoinArguments({}, ListEnd::AtEmpty), "");
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
    r.launcher.OnRunSpecScan();
    ASSERT_EQ(r.starter.starts.size(), 1u);
    EXPECT_EQ(r.last().program, "/opt/sonvola/SpecScan");
    EXPECT_EQ(r.last().words, (Words{"/music/my song.wav", "10", "_msec", "512", "_点", "4096",
                                     "_点", "ハミング窓"}));
    test::writeFile(r.work.file("SpecScan.txt"),
                    test::peakFileText(1, 2, 10, 0, "/music/my song.wav", {}));
    r.launcher.OnRunTrackJoin();
    EXPECT_EQ(r.last().program, "/opt/sonvola/TrackJoin");
    EXPECT_EQ(r.last().words, (Words{"120", "_tempo", "128", "_分音符"}));
    test::writeFile(r.work.file("TrackJoin.txt"), "x");
    r.launcher.OnRunNoteFind();
    EXPECT_EQ(r.last().words, (Words{"120", "_tempo", "128", "_分音符", "4", "/", "4", "1"}));
    r.launcher.OnRunScoreToSmf();
    EXPECT_EQ(r.last().program, "/opt/sonvola/ScoreToSmf");
    EXPECT_EQ(r.last().words, (Words{"/music/my song.wav.txt", "/music/my song.wav.mid"}));
}

TEST(Launcher, EmptiedFieldsShiftOrEndTheLists) {
    Rig r;
    r.openRecording();
    r.fields.m_strFrameShift.clear();
    EXPECT_EQ(r.launcher.specScanArguments(),
              "\"/music/my song.wav\"  512 _点 4096 _点 ハミング窓 ");
    r.fields.m_strFrameShift = "10 _msec";
    r.fields.m_strTimeSignature.clear();
    EXPECT_EQ(r.launcher.noteFindArguments(), "120 _tempo 128 _分音符 ");
    EXPECT_EQ(splitCommandLine(r.launcher.noteFindArguments()),
              (Words{"120", "_tempo", "128", "_分音符"}));
}

TEST(Launcher, SpecScanNeedsAnOpenDeviceEvenWithAValidPathTyped) {
    Rig r;
    r.window.typedFileName = "/music/my song.wav";
    r.launcher.OnRunSpecScan();
    EXPECT_TRUE(r.starter.starts.empty());
    EXPECT_EQ(r.window.errors, (std::vector<std::string>{kNoWaveMessage}));
}

TEST(Launcher, MissingPeakListsAreReported) {
    Rig r;
    r.launcher.OnRunTrackJoin();
    r.launcher.OnRunNoteFind();
    EXPECT_TRUE(r.starter.starts.empty());
    EXPECT_EQ(r.window.errors, (std::vector<std::string>{kNoSpecScanMessage, kNoTrackJoinMessage}));
}

TEST(Launcher, ConvertingRefusesTheLoadedMidiFileOnly) {
    Rig r;
    test::writeFile(r.work.file("SpecScan.txt"),
                    test::peakFileText(1, 2, 10, 0, "/music/my song.wav", {}));
    r.fields.m_strFileName = "/music/my song.wav.mid";
    r.launcher.OnRunScoreToSmf();
    EXPECT_TRUE(r.starter.starts.empty());
    EXPECT_EQ(r.window.messages, (std::vector<std::string>{kMidiInUseMessage}));
    r.fields.m_strFileName = "/music/my song.wav";
    r.launcher.OnRunScoreToSmf();
    EXPECT_EQ(r.starter.starts.size(), 1u);
}

TEST(Launcher, WithoutAPeakListConvertingStartsWithEmptyNames) {
    Rig r;
    r.launcher.OnRunScoreToSmf();
    ASSERT_EQ(r.starter.starts.size(), 1u);
    EXPECT_EQ(r.last().words, (Words{".txt", ".mid"}));
}

TEST(Launcher, LongTextsPassWhole) {
    Rig r;
    const std::string path = "/music/" + std::string(400, 'x') + ".wav";
    r.device.openable = {path};
    r.window.nextChoice = path;
    r.playback.OnOpenFile();
    r.launcher.OnRunSpecScan();
    EXPECT_EQ(r.last().words.front(), path);
}

TEST(Launcher, AProgramThatCannotStartIsReported) {
    Rig r;
    r.openRecording();
    r.starter.fail = true;
    r.launcher.OnRunSpecScan();
    EXPECT_EQ(r.window.errors, (std::vector<std::string>{kStartFailedMessage}));
}

}  // namespace
}  // namespace sonvola
