// The playback state machine against a fake device.
#include "frontend/core/playback.h"

#include <gtest/gtest.h>

#include "frontend/core/fields.h"
#include "tests/support/fakemedia.h"

namespace sonvola {
namespace {

using test::FakeDevice;
using test::FakeWindow;

struct Rig {
    FieldTexts fields;
    FakeDevice device;
    FakeWindow window{fields};
    Playback playback{fields, device, window};

    Rig() {
        device.openable = {"song.wav", "song.wav.mid"};
        device.midiOnly = {"song.wav.mid"};
        window.readable = {"song.wav", "song.wav.mid"};
    }
    void openSong() {
        window.nextChoice = "song.wav";
        playback.onOpenFile();
        device.log.clear();
    }
    std::tuple<int, int, int> state() const {
        return {playback.deviceOpen(), playback.playing(), playback.paused()};
    }
};

TEST(Fields, DefaultsAndResetLeaveThePathAlone) {
    FieldTexts f;
    f.fileName = "/a/song.wav";
    f.tempo = "90";
    resetParameters(f);
    EXPECT_EQ(f.fileName, "/a/song.wav");
    EXPECT_EQ(f.frameShift, "10 _msec");
    EXPECT_EQ(f.frameLength, "512 _点");
    EXPECT_EQ(f.zeroPadLength, "4096 _点");
    EXPECT_EQ(f.window, "ハミング窓");
    EXPECT_EQ(f.tempo, "120 _tempo");
    EXPECT_EQ(f.shortestNote, "128 _分音符");
    EXPECT_EQ(f.timeSignature, "4 / 4");
    EXPECT_EQ(f.program, "1");
}

TEST(Fields, SevenChmodsReturnToTheFirstPicture) {
    int b = 0;
    for (int i = 0; i < 7; ++i) b = nextBackground(b);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(nextBackground(5), 6);
}

TEST(Playback, OpenFileOpensTheChosenRecording) {
    Rig r;
    r.window.nextChoice = "song.wav";
    r.playback.onOpenFile();
    EXPECT_EQ(r.fields.fileName, "song.wav");
    EXPECT_EQ(r.state(), std::make_tuple(1, 0, 0));
    EXPECT_EQ(r.playback.deviceId(), 1u);
    EXPECT_EQ(r.window.typedFileName, "song.wav");  // written back
    // Cancelling changes nothing.
    r.window.nextChoice.reset();
    r.playback.onOpenFile();
    EXPECT_EQ(r.playback.deviceId(), 1u);
}

TEST(Playback, PlayReopensAndStartsFromTheBeginning) {
    Rig r;
    r.openSong();
    r.playback.onPlay();
    EXPECT_EQ(r.device.log,
              (std::vector<std::string>{"stop 1", "close 1", "open song.wav wave", "play 2 from"}));
    EXPECT_EQ(r.state(), std::make_tuple(1, 1, 0));
    r.device.log.clear();
    r.playback.onPlay();  // during playback: again from the beginning
    EXPECT_EQ(r.device.log.back(), "play 3 from");
}

TEST(Playback, PauseTwiceResumes) {
    Rig r;
    r.openSong();
    r.playback.onPlay();
    r.device.log.clear();
    r.playback.onPause();
    EXPECT_EQ(r.state(), std::make_tuple(1, 1, 1));
    r.playback.onPause();
    EXPECT_EQ(r.state(), std::make_tuple(1, 1, 0));
    EXPECT_EQ(r.device.log, (std::vector<std::string>{"stop 2", "play 2 resume"}));
}

TEST(Playback, PauseAfterStopDoesNothing) {
    Rig r;
    r.openSong();
    r.playback.onPlay();
    r.playback.onStop();
    r.device.log.clear();
    r.playback.onPause();
    EXPECT_TRUE(r.device.log.empty());
    EXPECT_EQ(r.state(), std::make_tuple(1, 0, 0));
}

TEST(Playback, PausePlayPauseResumesBecauseTheToggleStaysSet) {
    Rig r;
    r.openSong();
    r.playback.onPlay();
    r.playback.onPause();
    r.playback.onPlay();
    EXPECT_TRUE(r.playback.paused());
    r.device.log.clear();
    r.playback.onPause();
    EXPECT_EQ(r.device.log, (std::vector<std::string>{"play 3 resume"}));
    EXPECT_FALSE(r.playback.paused());
    r.playback.onPause();
    EXPECT_TRUE(r.playback.paused());
}

TEST(Playback, PlayWithEmptyFieldGivesTheOpenMessage) {
    Rig r;
    r.playback.onPlay();
    // Nothing to open: the message says to choose a file.
    ASSERT_EQ(r.window.messages.size(), 1u);
    EXPECT_NE(r.window.messages[0].find("ファイル名がありません"), std::string::npos);
    EXPECT_EQ(r.state(), std::make_tuple(0, 0, 0));
    EXPECT_EQ(r.device.log, (std::vector<std::string>{"open  wave"}));
}

TEST(Playback, FailedOpenLeavesNoDevice) {
    Rig r;
    r.window.nextChoice = "broken.wav";
    r.playback.onOpenFile();
    EXPECT_EQ(r.window.messages.size(), 1u);
    EXPECT_FALSE(r.playback.deviceOpen());
    EXPECT_FALSE(r.playback.stopForAnalysis());
}

TEST(Playback, FailingStopShowsTheErrorAndEndsTheDialog) {
    Rig r;
    r.openSong();
    r.playback.onPlay();
    r.device.failStop = true;
    r.playback.onStop();
    EXPECT_EQ(r.window.errors, (std::vector<std::string>{"stop failed"}));
    EXPECT_EQ(r.window.ends, 1);
    EXPECT_TRUE(r.playback.playing());  // flags left alone
}

TEST(Playback, FailingCloseStillMarksTheDeviceClosedAndWritesBack) {
    Rig r;
    r.openSong();
    r.device.failClose = true;
    const int writeBacks = r.window.writeBacks;
    r.playback.closeMediaDevice();
    EXPECT_EQ(r.window.ends, 1);
    EXPECT_FALSE(r.playback.deviceOpen());
    EXPECT_EQ(r.window.writeBacks, writeBacks + 1);
}

TEST(Playback, FailingPlayOrResumeEndsTheDialog) {
    Rig r;
    r.openSong();
    r.device.failPlay = true;
    r.playback.onPlay();
    EXPECT_EQ(r.window.errors, (std::vector<std::string>{"play failed"}));
    EXPECT_EQ(r.window.ends, 1);
    EXPECT_TRUE(r.playback.playing());
}

TEST(Playback, RadioSwitchesToTheMidiFileAndBack) {
    Rig r;
    r.openSong();
    r.window.kind = MediaKind::Midi;
    r.playback.onSelectMidi();
    EXPECT_EQ(r.fields.fileName, "song.wav.mid");
    EXPECT_EQ(r.device.log,
              (std::vector<std::string>{"stop 1", "close 1", "open song.wav.mid midi"}));
    EXPECT_TRUE(r.playback.deviceOpen());
    r.window.kind = MediaKind::Wave;
    r.playback.onSelectWave();
    EXPECT_EQ(r.fields.fileName, "song.wav");
    EXPECT_EQ(r.device.log.back(), "open song.wav wave");
}

TEST(Playback, RadioWithoutTheMidiFileKeepsTheWaveDevice) {
    Rig r;
    r.window.readable = {"song.wav"};
    r.openSong();
    r.window.kind = MediaKind::Midi;
    r.playback.onSelectMidi();
    EXPECT_TRUE(r.device.log.empty());
    EXPECT_EQ(r.fields.fileName, "song.wav");
    EXPECT_TRUE(r.playback.deviceOpen());
    // Play now reopens song.wav as a sequencer, which fails.
    r.playback.onPlay();
    // The message names the file, what it was to be read as, and the device's reason.
    ASSERT_EQ(r.window.messages.size(), 1u);
    EXPECT_EQ(r.window.messages[0], openErrorMessage("song.wav", MediaKind::Midi, "cannot open"));
    EXPECT_NE(r.window.messages[0].find("「song.wav」をMIDI ファイルとして開けません。"),
              std::string::npos);
    EXPECT_FALSE(r.playback.deviceOpen());
}

TEST(Playback, WaveRadioIgnoresShortNames) {
    Rig r;
    r.fields.fileName = "a.w";
    r.window.readable = {""};
    r.playback.onSelectWave();
    EXPECT_TRUE(r.device.log.empty());
}

TEST(Playback, StopForAnalysisNeedsAnOpenDevice) {
    Rig r;
    EXPECT_FALSE(r.playback.stopForAnalysis());  // never opened
    r.openSong();
    EXPECT_TRUE(r.playback.stopForAnalysis());
    r.playback.closeMediaDevice();
    EXPECT_FALSE(r.playback.stopForAnalysis());  // closed: the old id no longer answers
}

}  // namespace
}  // namespace sonvola
