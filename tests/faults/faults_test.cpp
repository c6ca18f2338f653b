// Everyday faults around the programs, as users and scripts meet them: a
// mistyped option, a full disk, a link or a device as the output, several
// runs at once, an interrupt, a closed or full standard output. Whatever
// happens, an earlier good output stays whole and no failure is reported as
// success. A full disk is made without root by a file size limit.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"

namespace sonvola {
namespace {

namespace fs = std::filesystem;
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

using test::runProgram;
using test::runTranscribe;

std::string recording(int key = 69, double seconds = 1.2) {
    return makeWav(
        test::synthNotes({{0.1, 0.4, key, 12000}, {0.6, 0.4, key + 3, 12000}}, seconds, 22050),
        {.sampleRate = 22050});
}

// Names in `folder` that are temporary files of an output.
std::vector<std::string> leftovers(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (name.find(".tmp-") != std::string::npos) names.push_back(name);
    }
    return names;
}

bool isLink(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

const std::string kScore =
    "tracks 2\n\ntrack{\n0   tempo 120\n0   rhythm 4 / 4\n}\n\ntrack{\n0   tone 1\n"
    "100   a-3 90\n500   a-3 0\n}\n";

// --- A failed run leaves the earlier outputs as they were -----------------

TEST(FailedRun, EveryOptionIsCheckedBeforeAnyStageRuns) {
    TempDir dir;
    const std::string wav = dir.file("song.wav");
    writeFile(wav, recording());
    ASSERT_EQ(runTranscribe({wav}).exitCode, 0);
    const std::string score = readFile(wav + ".txt"), midi = readFile(wav + ".mid");
    const std::vector<std::vector<std::string>> mistakes = {
        {"--time-signature", "0/0"}, {"--time-signature", "3/5"}, {"--time-signature", "300/4"},
        {"--program", "200"},        {"--program", "128abc"},     {"--tempo", "0"},
        {"--tempo", "5abc"},         {"--tempo", "96.5"},         {"--shift", "nan"},
        {"--shift", "0.5"},          {"--frame-length", "1O0"},   {"--fft-length", "1000"},
        {"--note-value", "inf"},     {"--window", "hamming"}};
    for (const auto& m : mistakes) {
        std::vector<std::string> args{wav};
        args.insert(args.end(), m.begin(), m.end());
        ProcessResult r = runTranscribe(args);
        EXPECT_EQ(r.exitCode, 2) << m[0] << " " << m[1];
        EXPECT_EQ(r.err.find("[1/"), std::string::npos) << "a stage ran for " << m[1];
        EXPECT_TRUE(m[0] == "--window" || r.err.find(m[1]) != std::string::npos)
            << "the message names the value: " << r.err;
    }
    EXPECT_EQ(readFile(wav + ".txt"), score);
    EXPECT_EQ(readFile(wav + ".mid"), midi);
    EXPECT_TRUE(leftovers(dir.path()).empty());
}

TEST(FailedRun, RefusedScoreNeverReplacesAnEarlierMidiFile) {
    TempDir dir;
    writeFile(dir.file("good.txt"), kScore);
    ASSERT_EQ(runProgram("ScoreToSmf", {dir.file("good.txt"), dir.file("song.mid")}).exitCode, 0);
    const std::string good = readFile(dir.file("song.mid"));
    // The second track holds a key above the MIDI range.
    writeFile(dir.file("bad.txt"), "tracks 2\ntrack{\n0 tempo 120\n}\ntrack{\n0 a-8 90\n}\n");
    ProcessResult r = runProgram("ScoreToSmf", {dir.file("bad.txt"), dir.file("song.mid")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(readFile(dir.file("song.mid")), good);
    // Where nothing stood, the complete tracks before the refusal are kept.
    ASSERT_EQ(runProgram("ScoreToSmf", {dir.file("bad.txt"), dir.file("new.mid")}).exitCode, 1);
    const std::string partial = readFile(dir.file("new.mid"));
    EXPECT_EQ(partial.substr(0, 4), "MThd");
    EXPECT_EQ(partial.size(), 14u + 8u + 11u);  // header, one track: tempo and end of track
    EXPECT_TRUE(leftovers(dir.path()).empty());
}

TEST(FailedRun, FullDiskLeavesEveryEarlierOutputWhole) {
    TempDir dir;
    const std::string wav = dir.file("song.wav");
    writeFile(wav, recording());
    ASSERT_EQ(runTranscribe({wav}).exitCode, 0);
    const std::string score = readFile(wav + ".txt"), midi = readFile(wav + ".mid");

    ProcessOptions full;
    full.fileSizeLimit = 20;
    ProcessResult smf = runProgram("ScoreToSmf", {wav + ".txt", wav + ".mid"}, full);
    EXPECT_EQ(smf.exitCode, 1);
    EXPECT_NE(smf.out.find("File too large"), std::string::npos) << smf.out;
    EXPECT_EQ(readFile(wav + ".mid"), midi);

    ProcessResult refine = runProgram("sonvola-refine", {wav + ".txt", wav + ".txt"}, full);
    EXPECT_EQ(refine.exitCode, 1);
    EXPECT_NE(refine.err.find("File too large"), std::string::npos) << refine.err;
    EXPECT_EQ(readFile(wav + ".txt"), score);

    // The whole pipeline: the work folder fills up, and the message says so
    // (not that the WAV header had the wrong number of values).
    for (int64_t limit : {200, 3000}) {
        full.fileSizeLimit = limit;
        ProcessResult r = runTranscribe({wav}, full);
        EXPECT_EQ(r.exitCode, 1) << limit;
        EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("データ数のエラー"), std::string::npos) << r.err;
        EXPECT_EQ(readFile(wav + ".txt"), score);
        EXPECT_EQ(readFile(wav + ".mid"), midi);
    }
    EXPECT_TRUE(leftovers(dir.path()).empty());
}

TEST(FailedRun, PictureOntoAFullDiskKeepsTheOldPicture) {
    if (!fileExists(binPath("sonvola-plot"))) GTEST_SKIP() << "built without the front end";
    TempDir dir;
    writeFile(dir.file("t.wav"), recording());
    ASSERT_EQ(test::runStage(
                  "SpecScan", dir.path(),
                  {dir.file("t.wav"), "10", "_msec", "512", "_点", "4096", "_点", "ハミング窓"})
                  .exitCode,
              0);
    const std::string input = dir.file("SpecScan.txt");
    writeFile(dir.file("old.png"), "an earlier picture");
    ProcessOptions full;
    full.fileSizeLimit = 1000;
    ProcessResult r = runProgram("sonvola-plot", {"--input", input, dir.file("old.png")}, full);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir.file("old.png")), "an earlier picture");
    EXPECT_TRUE(leftovers(dir.path()).empty());
    // And to standard output, when asked.
    ProcessResult out = runProgram("sonvola-plot", {"--input", input, "-"});
    EXPECT_EQ(out.exitCode, 0);
    EXPECT_EQ(out.out.substr(0, 4), "\x89PNG");
}

// --- Outputs that are not regular files -----------------------------------

TEST(OutputNotARegularFile, LinkIsWrittenThroughAndStaysALink) {
    TempDir dir;
    writeFile(dir.file("in.txt"), kScore);
    writeFile(dir.file("real.txt"), "old");
    ASSERT_EQ(::symlink("real.txt", dir.file("link.txt").c_str()), 0);
    ASSERT_EQ(runProgram("sonvola-refine", {dir.file("in.txt"), dir.file("link.txt")}).exitCode, 0);
    EXPECT_TRUE(isLink(dir.file("link.txt")));
    EXPECT_NE(readFile(dir.file("real.txt")).find("a-3"), std::string::npos);
    // A link to nothing yet names the file to make.
    ASSERT_EQ(::symlink(dir.file("made.mid").c_str(), dir.file("to-made.mid").c_str()), 0);
    ASSERT_EQ(runProgram("ScoreToSmf", {dir.file("in.txt"), dir.file("to-made.mid")}).exitCode, 0);
    EXPECT_TRUE(isLink(dir.file("to-made.mid")));
    EXPECT_EQ(readFile(dir.file("made.mid")).substr(0, 4), "MThd");
    EXPECT_TRUE(leftovers(dir.path()).empty());
}

TEST(OutputNotARegularFile, FifoAndStandardOutputAreWrittenDirectly) {
    TempDir dir;
    writeFile(dir.file("in.txt"), kScore);
    ProcessResult toStdout = runProgram("sonvola-refine", {dir.file("in.txt"), "-"});
    ASSERT_EQ(toStdout.exitCode, 0) << toStdout.err;
    EXPECT_NE(toStdout.out.find("a-3"), std::string::npos);

    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] {
        std::ifstream in(fifo, std::ios::binary);
        received.assign(std::istreambuf_iterator<char>(in), {});
    });
    ProcessResult r = runProgram("sonvola-refine", {dir.file("in.txt"), fifo});
    reader.join();
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(received, toStdout.out);
    struct stat st {};
    ASSERT_EQ(::lstat(fifo.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "the FIFO was replaced";
    // Standard input as the score, too.
    ProcessOptions in;
    in.stdinText = kScore;
    EXPECT_EQ(runProgram("sonvola-refine", {"-", "-"}, in).out, toStdout.out);
}

// --- Runs never share intermediate files -----------------------------------

TEST(RunsAtOnce, FourRunsInOneWorkFolderKeepToThemselves) {
    TempDir dir, work;
    std::vector<std::string> wavs, expected;
    for (int i = 0; i < 4; ++i) {
        wavs.push_back(dir.file("r" + std::to_string(i) + ".wav"));
        writeFile(wavs.back(), recording(60 + 4 * i));
        ASSERT_EQ(runTranscribe({wavs.back()}).exitCode, 0);
        expected.push_back(readFile(wavs.back() + ".mid"));
    }
    ProcessOptions shared;
    shared.env["SONVOLA_WORKDIR"] = work.path();
    std::vector<ProcessResult> results(8);
    std::vector<std::thread> runs;
    // Four recordings at once, and four runs of one recording at once.
    for (int i = 0; i < 8; ++i) {
        runs.emplace_back([&, i] { results[i] = runTranscribe({wavs[i < 4 ? i : 0]}, shared); });
    }
    for (auto& t : runs) t.join();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(results[i].exitCode, 0) << results[i].err;
    for (int i = 0; i < 4; ++i) EXPECT_EQ(readFile(wavs[i] + ".mid"), expected[i]) << wavs[i];
    EXPECT_TRUE(fs::is_empty(work.path()));
    EXPECT_TRUE(leftovers(dir.path()).empty());
}

TEST(RunsAtOnce, AStageRefusesAWorkFolderAnotherHolds) {
    TempDir work;
    writeFile(work.file("SpecScan.txt"), "whatever");
    const int fd = ::open(work.path().c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    ProcessResult r = test::runStage("TrackJoin", work.path(), {"120", "_tempo", "128", "_分音符"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("another stage is running in the work folder " + work.path()),
              std::string::npos)
        << r.out;
    EXPECT_FALSE(fileExists(work.file("TrackJoin.txt")));
    ::close(fd);
}

// --- An interrupt leaves nothing behind ------------------------------------

// A process of ours still running with `text` on its command line.
bool processMentions(const std::string& text) {
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string cmdline = readFile(e.path().string() + "/cmdline");
        if (cmdline.find(text) != std::string::npos &&
            cmdline.find("faults_tests") == std::string::npos) {
            return true;
        }
    }
    return false;
}

class Interrupt : public testing::TestWithParam<int> {};

TEST_P(Interrupt, TranscribeStopsItsStageAndRemovesItsFolder) {
    TempDir dir, work;
    const std::string wav = dir.file("long.wav");
    writeFile(wav, makeWav(test::tone(440, 90, 8000, 44100), {.sampleRate = 44100}));
    writeFile(wav + ".mid", "an earlier MIDI file");
    ProcessOptions o;
    o.env["SONVOLA_WORKDIR"] = work.path();
    o.signal = GetParam();
    o.when = "[1/5] SpecScan";
    o.delayMs = 100;
    ProcessResult r = runTranscribe({wav}, o);
    EXPECT_EQ(r.exitCode, 128 + GetParam()) << r.err;
    EXPECT_FALSE(processMentions(work.path())) << "a stage was left running";
    EXPECT_TRUE(fs::is_empty(work.path())) << "the private folder was left";
    EXPECT_EQ(readFile(wav + ".mid"), "an earlier MIDI file");
    EXPECT_FALSE(fileExists(wav + ".txt"));
    EXPECT_TRUE(leftovers(dir.path()).empty());
}

INSTANTIATE_TEST_SUITE_P(Signals, Interrupt, testing::Values(SIGINT, SIGTERM),
                         [](const auto& test) { return test.param == SIGINT ? "INT" : "TERM"; });

TEST(Interrupt, StoppedSpecScanNeverLeavesAnUnfinishedList) {
    TempDir dir;
    const std::string wav = dir.file("long.wav");
    writeFile(wav, makeWav(test::tone(440, 60, 8000, 44100), {.sampleRate = 44100}));
    const std::vector<std::string> args{wav,   "10",   "_msec", "512",
                                        "_点", "4096", "_点",   "ハミング窓"};
    ASSERT_EQ(test::runStage("SpecScan", dir.path(), args).exitCode, 0);
    const std::string complete = readFile(dir.file("SpecScan.txt"));
    // Stopped in the frame loop, then while the short-term estimation
    // rewrites the list: SpecScan.txt is the earlier list or the complete new
    // one, never the unfiltered list nor a part of one.
    for (const std::string& when :
         {std::string("Down-sampling"), std::string("addressed to \"SpecScan.txt\"")}) {
        writeFile(dir.file("SpecScan.txt"), "an earlier list\n");
        ProcessOptions o;
        o.env["SONVOLA_WORKDIR"] = dir.path();
        o.signal = SIGTERM;
        o.when = when;
        o.stdinText = "\n";
        std::vector<std::string> full{"SpecScan"};
        full.insert(full.end(), args.begin(), args.end());
        ProcessResult r = runProcess(binPath("SpecScan"), full, o);
        EXPECT_TRUE(r.signal == SIGTERM || r.exitCode == 0) << when;
        const std::string now = readFile(dir.file("SpecScan.txt"));
        EXPECT_TRUE(now == "an earlier list\n" || now == complete) << when;
        EXPECT_TRUE(leftovers(dir.path()).empty()) << when;
    }
}

// --- More than two channels ------------------------------------------------

TEST(Channels, TheStagesRefuseMoreThanTwoAndTranscribeMixesThemDown) {
    TempDir dir;
    for (int channels : {3, 6}) {
        const std::string wav = dir.file("c" + std::to_string(channels) + ".wav");
        writeFile(wav, makeWav(test::tone(440, 0.5, 8000, 22050, channels),
                               {.sampleRate = 22050, .channels = channels}));
        ProcessResult r =
            test::runStage("SpecScan", dir.path(),
                           {wav, "10", "_msec", "512", "_点", "4096", "_点", "ハミング窓"});
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_NE(r.out.find("has " + std::to_string(channels) + " channels"), std::string::npos)
            << r.out;
        EXPECT_FALSE(fileExists(dir.file("SpecScan.txt")));
        // sonvola-transcribe mixes them down to one, at the tone's pitch.
        ProcessResult t = runTranscribe({wav});
        ASSERT_EQ(t.exitCode, 0) << t.err;
        EXPECT_NE(t.err.find(std::to_string(channels) + " channels mixed down to one"),
                  std::string::npos)
            << t.err;
        EXPECT_NE(readFile(wav + ".txt").find("a-3"), std::string::npos);
    }
}

// --- Numbers read strictly ---------------------------------------------------

TEST(StrictNumbers, RefineNamesTheWordItCannotRead) {
    TempDir dir;
    struct Case {
        std::string good, bad, named;
    };
    const std::vector<Case> cases = {
        {"tempo 120", "tempo 0", "\"0\""},         {"tempo 120", "tempo 5abc", "\"5abc\""},
        {"a-3 90", "a-3 1O0", "\"1O0\""},          {"100   a-3", "nan   a-3", "\"nan\""},
        {"100   a-3", "inf   a-3", "\"inf\""},     {"tone 1", "tone 128abc", "\"128abc\""},
        {"rhythm 4 / 4", "rhythm 3 / 5", "\"5\""}, {"a-3 90", "a-9 90", "\"a-9\""}};
    for (const Case& c : cases) {
        std::string score = kScore;
        score.replace(score.find(c.good), c.good.size(), c.bad);
        writeFile(dir.file("s.txt"), score);
        ProcessResult r = runProgram("sonvola-refine", {dir.file("s.txt"), dir.file("o.txt")});
        EXPECT_EQ(r.exitCode, 1) << c.bad;
        EXPECT_NE(r.err.find(c.named), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(dir.file("o.txt")));
    }
    writeFile(dir.file("s.txt"), kScore);
    for (const auto& option : std::vector<std::vector<std::string>>{{"--frame-length", "0"},
                                                                    {"--frame-length", "abc"},
                                                                    {"--frame-length", "99999999"},
                                                                    {"--shift", "0"},
                                                                    {"--shift", "1e400"},
                                                                    {"--shift"}}) {
        std::vector<std::string> args{dir.file("s.txt"), dir.file("o.txt")};
        args.insert(args.end(), option.begin(), option.end());
        EXPECT_EQ(runProgram("sonvola-refine", args).exitCode, 2) << option[0];
    }
}

// --- Output errors are errors --------------------------------------------------

TEST(OutputErrors, AFullStandardOutputIsNotSuccess) {
    TempDir dir;
    writeFile(dir.file("ref.txt"), "0.1 0.5 69\n");
    writeFile(dir.file("s.txt"), kScore);
    ProcessOptions full;
    full.stdoutPath = "/dev/full";
    ProcessResult eval =
        runProgram("sonvola-eval", {dir.file("ref.txt"), dir.file("ref.txt")}, full);
    EXPECT_NE(eval.exitCode, 0);
    EXPECT_NE(eval.err.find("standard output"), std::string::npos) << eval.err;
    EXPECT_NE(runProgram("sonvola-transcribe", {"--help"}, full).exitCode, 0);
    EXPECT_NE(runProgram("sonvola-refine", {dir.file("s.txt"), "-"}, full).exitCode, 0);
    EXPECT_NE(runProgram("sonvola-refine", {"--help"}, full).exitCode, 0);
    EXPECT_NE(runProgram("ScoreToSmf", {dir.file("s.txt"), dir.file("o.mid")}, full).exitCode, 0);
}

// --- Messages that name the real cause -------------------------------------------

TEST(Messages, WorkFolderProblemsAreNamed) {
    TempDir dir;
    const std::string wav = dir.file("song.wav");
    writeFile(wav, recording());
    writeFile(dir.file("plain"), "a file, not a folder");
    ProcessOptions o;
    o.env["SONVOLA_WORKDIR"] = dir.file("plain/work");
    ProcessResult r = runTranscribe({wav}, o);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("cannot make a work folder in " + dir.file("plain/work")),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Not a directory"), std::string::npos) << r.err;
    ProcessResult stage = test::runStage("SpecScan", dir.file("plain/work"),
                                         {wav, "10", "_msec", "512", "_点", "4096", "_点", "なし"});
    EXPECT_EQ(stage.exitCode, 1);
    EXPECT_NE(stage.out.find("cannot use the work folder " + dir.file("plain/work")),
              std::string::npos)
        << stage.out;
    // A temporary folder that does not exist is passed over for /tmp.
    ProcessOptions noTmp;
    noTmp.env["TMPDIR"] = dir.file("no such folder");
    ProcessResult t = runTranscribe({wav}, noTmp);
    EXPECT_EQ(t.exitCode, 0) << t.err;
}

}  // namespace
}  // namespace sonvola
