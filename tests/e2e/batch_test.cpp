// sonvola-transcribe on many recordings: folders walked, outputs mirrored
// under --output-dir, a report line per recording, --skip-done, the exit
// status, and a stop signal reaching every run.
#include "tools/batch.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/midifile.h"
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
using test::TempDir;
using test::writeFile;

using test::runTranscribe;

std::string recording(int key) {
    return makeWav(test::synthNotes({{0.1, 0.4, key, 12000}}, 0.7, 22050), {.sampleRate = 22050});
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

TEST(Batch, FoldersAreWalkedAndTheOutputTreeMirrored) {
    TempDir dir;
    fs::create_directories(dir.file("in/sub/.hidden"));
    writeFile(dir.file("in/b.wav"), recording(60));
    writeFile(dir.file("in/sub/a.WAV"), recording(64));
    writeFile(dir.file("in/sub/.hidden/x.wav"), recording(67));
    writeFile(dir.file("in/notes.txt"), "not audio");
    writeFile(dir.file("single.wav"), recording(69));
    const auto items = collectRecordings(
        {dir.file("in"), dir.file("single.wav"), dir.file("missing.wav")}, dir.file("out"));
    ASSERT_EQ(items.size(), 4u);
    EXPECT_EQ(items[0].recording, dir.file("in/b.wav"));
    EXPECT_EQ(items[0].prefix, dir.file("out/b.wav"));
    EXPECT_EQ(items[1].prefix, dir.file("out/sub/a.WAV"));
    EXPECT_EQ(items[2].prefix, dir.file("out/single.wav"));
    EXPECT_EQ(items[3].prefix, "");  // reported as failed
    const auto beside = collectRecordings({dir.file("in")}, "");
    EXPECT_EQ(beside[1].prefix, dir.file("in/sub/a.WAV"));
    EXPECT_TRUE(isAudioFileName("x.FLAC") && isAudioFileName("y.m4a") && !isAudioFileName("z.mid"));
}

TEST(Batch, JobsGoToRecordingsFirstThenThreads) {
    EXPECT_EQ(shareJobs(2, 8).files, 2);
    EXPECT_EQ(shareJobs(2, 8).threads, 1);
    EXPECT_EQ(shareJobs(16, 3).files, 3);
    EXPECT_EQ(shareJobs(16, 3).threads, 5);
    EXPECT_EQ(shareJobs(1, 5).files, 1);
    EXPECT_EQ(shareJobs(0, 0).files, 1);
    EXPECT_EQ(reportJson({"a\"b\\c\n", "s", "m", "done", "", 1.5, 3}),
              "{\"input\":\"a\\\"b\\\\c\\n\",\"score\":\"s\",\"midi\":\"m\",\"status\":\"done\","
              "\"message\":\"\",\"seconds\":1.500,\"notes\":3}");
    EXPECT_EQ(reportJson({"", "", "", "failed", "x", 0, -1}).find("\"notes\":null"),
              reportJson({"", "", "", "failed", "x", 0, -1}).size() - 13);
}

TEST(Batch, ReportSkipDoneAndExitStatus) {
    TempDir dir;
    fs::create_directories(dir.file("in"));
    for (int i = 0; i < 3; ++i) {
        writeFile(dir.file("in/r" + std::to_string(i) + ".wav"), recording(60 + 4 * i));
    }
    writeFile(dir.file("in/broken.mp3"), std::string(100, 'q'));
    const std::string out = dir.file("out"), report = dir.file("report.jsonl");
    ProcessResult r =
        runTranscribe({"-j", "2", "--output-dir", out, "--report", report, dir.file("in")});
    EXPECT_EQ(r.exitCode, 1) << r.err;  // one failed, the others done
    EXPECT_NE(r.out.find("4 recordings: 3 done, 1 failed"), std::string::npos) << r.out;
    for (int i = 0; i < 3; ++i) {
        const std::string prefix = out + "/r" + std::to_string(i) + ".wav";
        EXPECT_TRUE(fileExists(prefix + ".mid") && fileExists(prefix + ".txt")) << prefix;
    }
    EXPECT_FALSE(fileExists(dir.file("in/r0.wav.mid")));  // nothing beside the recordings
    const auto reported = lines(readFile(report));
    ASSERT_EQ(reported.size(), 4u);
    int done = 0, failed = 0;
    for (const std::string& l : reported) {
        done += l.find("\"status\":\"done\"") != std::string::npos;
        if (l.find("\"status\":\"failed\"") != std::string::npos) {
            ++failed;
            EXPECT_NE(l.find("broken.mp3"), std::string::npos) << l;
        } else {
            EXPECT_NE(l.find("\"notes\":1"), std::string::npos) << l;
        }
    }
    EXPECT_EQ(done, 3);
    EXPECT_EQ(failed, 1);

    // Again with --skip-done: nothing is transcribed anew.
    const std::string mid = out + "/r0.wav.mid";
    const auto before = fs::last_write_time(mid);
    ProcessResult again = runTranscribe({"--output-dir", out, "--skip-done", dir.file("in")});
    EXPECT_NE(again.out.find("0 done, 3 skipped, 1 failed"), std::string::npos) << again.out;
    EXPECT_EQ(fs::last_write_time(mid), before);
    // Other options, or a recording changed since: done again.
    ProcessResult tempo =
        runTranscribe({"--output-dir", out, "--skip-done", "--tempo", "90", dir.file("in/r0.wav")});
    EXPECT_EQ(tempo.exitCode, 0) << tempo.err;
    EXPECT_NE(tempo.out.find("1 done"), std::string::npos) << tempo.out;
    EXPECT_NE(readFile(out + "/r0.wav.sonvola").find("tempo=90"), std::string::npos);
    // Every recording good: status 0.
    fs::remove(dir.file("in/broken.mp3"));
    ProcessResult good = runTranscribe({"--output-dir", out, dir.file("in")});
    EXPECT_EQ(good.exitCode, 0) << good.err;
}

TEST(Batch, AStopSignalReachesEveryRun) {
    TempDir dir;
    fs::create_directories(dir.file("in"));
    for (int i = 0; i < 4; ++i) {
        writeFile(dir.file("in/long" + std::to_string(i) + ".wav"),
                  makeWav(test::tone(440, 120, 8000, 44100), {.sampleRate = 44100}));
    }
    ProcessOptions o;
    o.signal = SIGTERM;
    o.when = "";  // at once
    o.delayMs = 300;
    ProcessResult r = runTranscribe({"-j", "2", dir.file("in")}, o);
    EXPECT_EQ(r.exitCode, 128 + SIGTERM) << r.out << r.err;
    EXPECT_NE(r.out.find("stopped"), std::string::npos) << r.out;
    for (const auto& e : fs::directory_iterator("/proc")) {
        const std::string cmdline = readFile(e.path().string() + "/cmdline");
        EXPECT_EQ(cmdline.find(dir.path()), std::string::npos) << "left running: " << cmdline;
    }
    // A recording finished before the signal keeps its complete outputs;
    // the others have none, and at least the two not yet started say so.
    int complete = 0;
    for (int i = 0; i < 4; ++i) {
        const std::string mid = dir.file("in/long" + std::to_string(i) + ".wav.mid");
        if (!fileExists(mid)) continue;
        Result<MidiFile> parsed = parseMidiFile(mid);
        EXPECT_TRUE(parsed.ok()) << mid << ": " << parsed.message();
        ++complete;
    }
    EXPECT_LE(complete, 2);
    EXPECT_NE(r.out.find(std::to_string(4 - complete) + " stopped"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace sonvola
