// sonvola-transcribe on the audio files people have: each made here from a
// 16-bit WAV with the ffmpeg command (skipped where it is not installed),
// then transcribed and compared with the WAV's own transcription.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "common/midifile.h"
#include "tests/support/process.h"
#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"

namespace sonvola {
namespace {

using test::binPath;
using test::fileExists;
using test::makeWav;
using test::ProcessOptions;
using test::ProcessResult;
using test::readFile;
using test::runProcess;
using test::SynthNote;
using test::TempDir;
using test::writeFile;

using test::runTranscribe;

bool haveFfmpeg() {
    return std::system("ffmpeg -version >/dev/null 2>&1") == 0;
}

// ffmpeg -i IN ARGS OUT, quietly; true when it made OUT.
bool convert(const std::string& in, const std::string& args, const std::string& out) {
    const std::string command =
        "ffmpeg -nostdin -loglevel error -y -i '" + in + "' " + args + " '" + out + "'";
    return std::system(command.c_str()) == 0 && fileExists(out);
}

const std::vector<SynthNote> kNotes = {
    {0.10, 0.40, 60, 9000}, {0.60, 0.40, 64, 9000}, {1.10, 0.40, 67, 9000}, {1.60, 0.50, 72, 9000}};

std::vector<MidiNote> notesOf(const std::string& midi) {
    Result<MidiFile> parsed = parseMidiFile(midi);
    EXPECT_TRUE(parsed.ok()) << midi << ": " << parsed.message();
    if (!parsed) return {};
    return midiNotes(*parsed);
}

// The same keys, each starting within one frame shift (10 ms) and a bit.
void expectSameNotes(const std::vector<MidiNote>& a, const std::vector<MidiNote>& b,
                     const std::string& what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_EQ(a[i].key, b[i].key) << what << " note " << i;
        EXPECT_NEAR(a[i].onsetS, b[i].onsetS, 0.015) << what << " note " << i;
    }
}

class Formats : public testing::Test {
  protected:
    void SetUp() override {
        if (!haveFfmpeg()) GTEST_SKIP() << "the ffmpeg command is not installed";
        wav_ = dir_.file("piece.wav");
        writeFile(wav_, makeWav(test::synthNotes(kNotes, 2.3, 44100, 2),
                                {.sampleRate = 44100, .channels = 2}));
        ProcessResult r = runTranscribe({wav_});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        score_ = readFile(wav_ + ".txt");
        notes_ = notesOf(wav_ + ".mid");
        ASSERT_EQ(notes_.size(), kNotes.size());
    }
    TempDir dir_;
    std::string wav_, score_;
    std::vector<MidiNote> notes_;
};

TEST_F(Formats, LosslessOnesGiveTheWavsVeryScore) {
    const std::vector<std::pair<std::string, std::string>> kinds = {
        {"piece.flac", ""},
        {"piece.aiff", ""},
        {"piece 24.wav", "-c:a pcm_s24le"},
        {"piece float.wav", "-c:a pcm_f32le"},
        {"piece.caf", ""}};
    for (const auto& [name, args] : kinds) {
        const std::string file = dir_.file(name);
        ASSERT_TRUE(convert(wav_, args, file)) << name;
        ProcessResult r = runTranscribe({file});
        ASSERT_EQ(r.exitCode, 0) << name << ": " << r.err;
        // Named after the file given, beside it.
        EXPECT_EQ(r.out, "score: " + file + ".txt\nMIDI:  " + file + ".mid\n");
        EXPECT_NE(r.err.find("decode"), std::string::npos) << name;
        EXPECT_EQ(readFile(file + ".txt"), score_) << name;
    }
}

TEST_F(Formats, LossyOnesGiveTheSameNotesWithinAFrame) {
    for (const auto& [name, args] : std::vector<std::pair<std::string, std::string>>{
             {"piece.mp3", "-b:a 192k"},
             {"piece.m4a", "-c:a aac -b:a 192k"},
             {"piece.ogg", "-c:a libvorbis -q:a 6"},
             {"piece.opus", "-c:a libopus -b:a 128k"}}) {
        const std::string file = dir_.file(name);
        if (!convert(wav_, args, file)) {
            ADD_FAILURE() << "ffmpeg could not make " << name;
            continue;
        }
        ProcessResult r = runTranscribe({file});
        ASSERT_EQ(r.exitCode, 0) << name << ": " << r.err;
        expectSameNotes(notes_, notesOf(file + ".mid"), name);
    }
}

TEST_F(Formats, SixChannelsAndNinetySixKilohertz) {
    // A tone only in the centre channel of a 5.1 file comes out at its pitch.
    const std::string centre = dir_.file("centre.wav");
    writeFile(centre, makeWav(test::synthNotes({{0.1, 0.8, 69, 12000}}, 1.2, 48000),
                              {.sampleRate = 48000}));
    const std::string surround = dir_.file("surround.wav");
    ASSERT_TRUE(
        convert(centre, "-af 'pan=5.1|FL=0*c0|FR=0*c0|FC=c0|LFE=0*c0|BL=0*c0|BR=0*c0'", surround));
    ProcessResult r = runTranscribe({surround});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("6 channels mixed down to one"), std::string::npos) << r.err;
    const auto notes = notesOf(surround + ".mid");
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.front().key, 69);
    // 24 bits at 96 kHz: the rate is kept for the stages to bring down.
    const std::string high = dir_.file("high.flac");
    ASSERT_TRUE(convert(wav_, "-ar 96000 -sample_fmt s32 -c:a flac", high));
    ProcessResult h = runTranscribe({high});
    ASSERT_EQ(h.exitCode, 0) << h.err;
    expectSameNotes(notes_, notesOf(high + ".mid"), "96 kHz FLAC");
}

TEST_F(Formats, WhatCannotBeDecodedIsRefusedAndNothingIsWritten) {
    const std::string junk = dir_.file("junk.mp3");
    writeFile(junk, std::string(300, '\x5a'));
    const std::string empty = dir_.file("empty.flac");
    writeFile(empty, "");
    const std::string cutFlac = dir_.file("cut.flac");
    ASSERT_TRUE(convert(wav_, "", dir_.file("whole.flac")));
    writeFile(cutFlac, readFile(dir_.file("whole.flac")).substr(0, 40));  // header only
    for (const std::string& file : {junk, empty, cutFlac}) {
        ProcessResult r = runTranscribe({file});
        EXPECT_EQ(r.exitCode, 1) << file;
        EXPECT_NE(r.err.find(file), std::string::npos) << "the message names the file: " << r.err;
        EXPECT_FALSE(fileExists(file + ".txt"));
        EXPECT_FALSE(fileExists(file + ".mid"));
    }
}

}  // namespace
}  // namespace sonvola
