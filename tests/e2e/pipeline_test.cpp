// The whole pipeline as a user runs it: sonvola-transcribe on generated
// recordings of known notes, the MIDI file read back by an independent reader.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "common/midifile.h"
#include "tests/support/process.h"
#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"
#include "tools/transcribe.h"

namespace sonvola {
namespace {

using test::binPath;
using test::fileExists;
using test::makeWav;
using test::ProcessOptions;
using test::ProcessResult;
using test::runProcess;
using test::SynthNote;
using test::TempDir;
using test::writeFile;

using test::runTranscribe;

// Three single notes and a C major chord, piano-like, 44.1 kHz stereo.
const std::vector<SynthNote> kNotes = {{0.20, 0.45, 60, 9000}, {0.80, 0.45, 64, 9000},
                                       {1.40, 0.45, 67, 9000}, {2.00, 0.80, 60, 6000},
                                       {2.00, 0.80, 64, 6000}, {2.00, 0.80, 67, 6000}};

TEST(Pipeline, KnownNotesComeOutAtTheirPitchesAndTimes) {
    TempDir dir;
    const std::string wav = dir.file("known notes.wav");
    writeFile(wav, makeWav(test::synthNotes(kNotes, 3.0, 44100, 2),
                           {.sampleRate = 44100, .channels = 2}));
    ProcessResult r = runTranscribe({wav});
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "score: " + wav + ".txt\nMIDI:  " + wav + ".mid\n");
    EXPECT_EQ(r.err,
              "[1/5] SpecScan\n[2/5] TrackJoin\n[3/5] NoteFind\n[4/5] sonvola-refine\n[5/5] "
              "ScoreToSmf\n");
    Result<MidiFile> parsed = parseMidiFile(wav + ".mid");
    ASSERT_TRUE(parsed.ok()) << parsed.message();
    const MidiFile& f = *parsed;
    EXPECT_EQ(f.format, 1);
    EXPECT_EQ(f.trackCount, 2);
    EXPECT_EQ(f.division, 480);
    const auto notes = midiNotes(f);
    // Refined notes start within 40 ms of the sound.
    for (const SynthNote& ref : kNotes) {
        bool found = false;
        for (const auto& n : notes) {
            found = found || (n.key == ref.key && std::fabs(n.onsetS - ref.onset) <= 0.040 &&
                              n.offsetS > n.onsetS);
        }
        EXPECT_TRUE(found) << "key " << ref.key << " at " << ref.onset << " s";
    }
    // Nothing sounds where the recording is silent.
    for (const auto& n : notes) {
        EXPECT_GE(n.onsetS, 0.15);
        EXPECT_LE(n.offsetS, 2.9);
    }
}

TEST(Pipeline, RunsOnEightBitMonoAt11025Hz) {
    TempDir dir;
    const std::string wav = dir.file("low.wav");
    writeFile(wav, makeWav(test::synthNotes({{0.1, 0.6, 69, 12000}}, 1.0, 11025),
                           {.sampleRate = 11025, .channels = 1, .bits = 8}));
    ProcessResult r =
        runTranscribe({wav, "--tempo", "90", "--time-signature", "3/4", "--program", "41"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const std::string score = test::readFile(wav + ".txt");
    EXPECT_NE(score.find("0   tempo 90\n0   rhythm 3 / 4\n"), std::string::npos);
    EXPECT_NE(score.find("0   tone 41\n"), std::string::npos);
    EXPECT_NE(score.find(" a-3 "), std::string::npos);
}

TEST(Pipeline, AFailingStageIsNamedWithItsStatus) {
    TempDir dir;
    const std::string wav = dir.file("full.wav");
    writeFile(wav, makeWav(test::tone(440, 2.0, 8000, 11025), {.sampleRate = 11025}));
    ProcessOptions o;
    o.fileSizeLimit = 4000;  // room for the header dump, not for the peak list
    ProcessResult r = runTranscribe({wav}, o);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("sonvola-transcribe: SpecScan failed with exit status 1"),
              std::string::npos);
    EXPECT_NE(r.err.find("err: cannot write"), std::string::npos) << r.err;  // the stage's words
    EXPECT_FALSE(fileExists(wav + ".mid"));
    // A rate the analysis cannot use is refused before any stage.
    const std::string low = dir.file("low.wav");
    writeFile(low, makeWav(test::tone(440, 0.5, 8000, 8000), {.sampleRate = 8000}));
    ProcessResult l = runTranscribe({low});
    EXPECT_EQ(l.exitCode, 1);
    EXPECT_NE(l.err.find("11025"), std::string::npos) << l.err;
    EXPECT_EQ(l.err.find("SpecScan"), std::string::npos) << l.err;
    EXPECT_FALSE(fileExists(low + ".mid"));
}

TEST(Pipeline, WorkFolderIsFreshUnlessGivenAndKeptOnRequest) {
    TempDir dir, work;
    const std::string wav = dir.file("t.wav");
    writeFile(
        wav, makeWav(test::synthNotes({{0.1, 0.5, 69, 12000}}, 0.8, 11025), {.sampleRate = 11025}));
    ProcessOptions o;
    o.env["SONVOLA_WORKDIR"] = work.path();
    // Inside SONVOLA_WORKDIR each run takes a fresh folder of its own and
    // removes it when done.
    ASSERT_EQ(runTranscribe({wav}, o).exitCode, 0);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(work.path()), {}), 0);
    ProcessResult kept = runTranscribe({wav, "--keep-work"}, o);
    ASSERT_EQ(kept.exitCode, 0);
    const auto at = kept.err.find("intermediate files: ");
    ASSERT_NE(at, std::string::npos);
    std::string folder = kept.err.substr(at + 20);
    folder = folder.substr(0, folder.find('\n'));
    EXPECT_EQ(folder.rfind(work.path() + "/sonvola-", 0), 0u) << folder;
    EXPECT_TRUE(fileExists(folder + "SpecScan.txt"));
    EXPECT_TRUE(fileExists(folder + "TrackJoin.txt"));
}

TEST(Pipeline, HelpAndMistakesOnTheCommandLine) {
    ProcessResult help = runTranscribe({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("--time-signature N/D"), std::string::npos);
    ProcessResult none = runTranscribe({});
    EXPECT_EQ(none.exitCode, 2);
    EXPECT_NE(none.err.find("no recording given"), std::string::npos);
    ProcessResult missing = runTranscribe({"/nonexistent/x.wav"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("cannot read /nonexistent/x.wav"), std::string::npos);
}

TEST(TranscribeOptions, EightFieldsAndTheSwitches) {
    auto o = parseTranscribeOptions({"a.wav", "--shift", "5", "--frame-length", "256",
                                     "--fft-length", "2048", "--window", "なし", "--tempo", "100",
                                     "--note-value", "64", "--time-signature", "6/8", "--program",
                                     "3", "--no-estimation", "--no-amendment"});
    ASSERT_TRUE(o) << o.message();
    EXPECT_EQ(
        specScanArguments(*o, "/x/a.wav"),
        (std::vector<std::string>{"/x/a.wav", "5", "-", "256", "_点", "2048", "_点", "なし"}));
    EXPECT_EQ(trackJoinArguments(*o), (std::vector<std::string>{"100", "-", "64", "_分音符"}));
    EXPECT_EQ(noteFindArguments(*o),
              (std::vector<std::string>{"100", "_tempo", "64", "_分音符", "6", "/", "8", "3"}));
    auto d = parseTranscribeOptions({"b.wav"});
    ASSERT_TRUE(d);
    EXPECT_EQ(specScanArguments(*d, "b.wav"),
              (std::vector<std::string>{"b.wav", "10", "_msec", "512", "_点", "4096", "_点",
                                        "ハミング窓"}));
    EXPECT_EQ(trackJoinArguments(*d),
              (std::vector<std::string>{"120", "_tempo", "128", "_分音符"}));
    EXPECT_FALSE(parseTranscribeOptions({"a.wav", "--time-signature", "68"}));
    EXPECT_FALSE(parseTranscribeOptions({"a.wav", "--tempo"}));
    // Several recordings are fine; the options that concern only them are
    // not passed on to the run of each.
    const auto many = parseTranscribeOptions(
        {"a.wav", "-j", "3", "--tempo", "90", "b.wav", "--output-dir", "o", "--skip-done"});
    ASSERT_TRUE(many);
    EXPECT_EQ(many->inputs, (std::vector<std::string>{"a.wav", "b.wav"}));
    EXPECT_EQ(many->jobs, 3);
    EXPECT_EQ(many->analysisArgs, (std::vector<std::string>{"--tempo", "90"}));
    EXPECT_FALSE(parseTranscribeOptions({"a.wav", "-j", "0"}));
    EXPECT_FALSE(parseTranscribeOptions({"a.wav", "-jx"}));
    EXPECT_FALSE(parseTranscribeOptions({"a.wav", "--bogus"}));
}

}  // namespace
}  // namespace sonvola
