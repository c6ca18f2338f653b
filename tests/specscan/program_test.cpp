// SpecScan as a user runs it: the program, its files and its console.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

#include "common/peakfile.h"
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
using test::TempDir;
using test::WavOptions;
using test::writeFile;

std::vector<std::string> defaultArgs(const std::string& wav, const std::string& third = "_msec") {
    return {"SpecScan", wav, "10", third, "512", "_点", "4096", "_点", "ハミング窓"};
}

ProcessResult specScan(const TempDir& work, const std::vector<std::string>& args,
                       const std::string& stdinText = "") {
    // args[0] stands for the program; the program's own path takes its place.
    return test::runStage("SpecScan", work.path(),
                          std::vector<std::string>(args.begin() + 1, args.end()), stdinText);
}

TEST(SpecScanProgram, EchoesArgumentsAndEndsWithTheReturnPrompt) {
    TempDir dir;
    writeFile(dir.file("t.wav"), makeWav(test::tone(440, 0.5, 8000, 11025), {.sampleRate = 11025}));
    ProcessResult r = specScan(dir, defaultArgs(dir.file("t.wav")));
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(r.out.substr(0, r.out.find("\n\n..File")),
              "..Peak-frequency extraction\n\n..Argument\n"
              "Data of argv[0] is \"" +
                  binPath("SpecScan") +
                  "\".\n"
                  "Data of argv[1] is \"" +
                  dir.file("t.wav") +
                  "\".\n"
                  "Data of argv[2] is \"10\".\nData of argv[4] is \"512\".\n"
                  "Data of argv[6] is \"4096\".\nData of argv[8] is \"ハミング窓\".");
    EXPECT_NE(r.out.find("WaveFmt_Data[9] is \"44\".\n"), std::string::npos);
    EXPECT_NE(r.out.find("\tLoop-count is 49 [times].\n"), std::string::npos);
    EXPECT_TRUE(
        r.out.ends_with("\n..The analysis result was addressed to \"SpecScan.txt\"."
                        "\n..Please enter RETURN KEY."));
    EXPECT_NE(r.err.find("\"short-term estimation method for peak frequencies\" was carried out."),
              std::string::npos);
    EXPECT_EQ(r.err.find("Down-sampling"), std::string::npos);  // 11025 Hz is used as it is
    EXPECT_TRUE(fileExists(dir.file("Wave_File_Format.txt")));
    EXPECT_TRUE(readFile(dir.file("SpecScan.txt")).ends_with("end\nend_of_file"));
}

TEST(SpecScanProgram, FindsItsFilesBesideItselfInAFolderWithBlanks) {
    TempDir dir;
    const std::string folder = dir.file("my programs");
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(binPath("SpecScan"), folder + "/SpecScan");
    writeFile(dir.file("t.wav"), makeWav(test::tone(440, 0.2, 8000, 11025), {.sampleRate = 11025}));
    ProcessOptions o;
    o.unsetEnv = {"SONVOLA_WORKDIR"};
    o.workingDir = "/";
    ProcessResult r = runProcess(folder + "/SpecScan", defaultArgs(dir.file("t.wav"), "_ms"), o);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_TRUE(fileExists(folder + "/Wave_File_Format.txt"));
    EXPECT_TRUE(fileExists(folder + "/SpecScan.txt"));
    EXPECT_TRUE(r.out.ends_with("\n\n..No using proposed method\n..Please enter RETURN KEY."));
}

TEST(SpecScanProgram, PathWithBlanksStandsOnLine6AndLine3) {
    TempDir dir;
    const std::string wav = dir.file("a song.wav");
    writeFile(wav, makeWav(test::tone(440, 0.2, 8000, 11025), {.sampleRate = 11025}));
    ASSERT_EQ(specScan(dir, defaultArgs(wav)).exitCode, 0);
    std::istringstream dump(readFile(dir.file("Wave_File_Format.txt")));
    std::string line;
    for (int i = 0; i < 6; ++i) std::getline(dump, line);
    EXPECT_EQ(line, " * " + wav);
    EXPECT_EQ(readPeakHeader(dir.file("SpecScan.txt")).signalName, wav);
}

struct Refusal {
    const char* name;
    std::vector<std::string> args;  // "WAV" stands for the generated file
    std::string wavBytes;
    std::string expectedOut;  // found in standard output
};

void PrintTo(const Refusal& r, std::ostream* os) {
    *os << r.name;
}

class SpecScanRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(SpecScanRefusal, ClearMessageAndExitOne) {
    TempDir dir;
    std::vector<std::string> args = GetParam().args;
    for (auto& a : args) {
        if (a == "WAV") a = dir.file("in.wav");
    }
    if (!GetParam().wavBytes.empty()) writeFile(dir.file("in.wav"), GetParam().wavBytes);
    ProcessResult r = specScan(dir, args);
    EXPECT_EQ(r.exitCode, 1);
    std::string expected = GetParam().expectedOut;
    if (auto at = expected.find("@WAV@"); at != std::string::npos) {
        expected.replace(at, 5, dir.file("in.wav"));
    }
    EXPECT_NE(r.out.find(expected), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Please enter RETURN KEY"), std::string::npos);
}

std::string okWav() {
    return makeWav(test::tone(440, 0.1, 8000, 11025), {.sampleRate = 11025});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SpecScanRefusal,
    ::testing::Values(
        Refusal{"few_arguments", {"SpecScan", "WAV", "10"}, okWav(), "usage: SpecScan"},
        Refusal{"missing_wav", defaultArgs("WAV"), "", "cannot open! @WAV@"},
        Refusal{"not_riff", defaultArgs("WAV"), "RIFX....WAVEfmt ",
                "error: 評価データが WAVE ファイルではありません "},
        Refusal{"no_data_tag", defaultArgs("WAV"), "RIFF" + std::string(400, 'z'),
                "err: no \"data\" chunk in the first 200 bytes of @WAV@"},
        Refusal{"empty_data", defaultArgs("WAV"), makeWav({}, {}),
                "\nWaveFmt_Dataに格納したデータ数のエラー"},
        Refusal{"24_bits", defaultArgs("WAV"), makeWav(std::vector<int16_t>(300, 5), {.bits = 24}),
                "24 bits per sample"},
        Refusal{"unknown_window",
                {"SpecScan", "WAV", "10", "_msec", "512", "_点", "4096", "_点", "hamming"},
                okWav(),
                "\nerror! 窓の種類が不明。"},
        Refusal{"frame_longer_than_fft",
                {"SpecScan", "WAV", "10", "_msec", "1024", "_点", "512", "_点", "なし"},
                okWav(),
                "must not exceed the transform length"},
        Refusal{"fft_not_power_of_two",
                {"SpecScan", "WAV", "10", "_msec", "512", "_点", "3000", "_点", "なし"},
                okWav(),
                "must be a power of two"},
        Refusal{"frame_of_one",
                {"SpecScan", "WAV", "10", "_msec", "1", "_点", "4096", "_点", "なし"},
                okWav(),
                "frame length"},
        Refusal{"zero_shift",
                {"SpecScan", "WAV", "0", "_msec", "512", "_点", "4096", "_点", "なし"},
                okWav(),
                "frame shift"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(SpecScanProgram, ParametersAreCheckedBeforeAnyFileIsWritten) {
    TempDir dir;
    writeFile(dir.file("in.wav"), okWav());
    auto args = defaultArgs(dir.file("in.wav"));
    args[8] = "hamming";
    EXPECT_EQ(specScan(dir, args).exitCode, 1);
    EXPECT_FALSE(fileExists(dir.file("SpecScan.txt")));
    EXPECT_FALSE(fileExists(dir.file("Wave_File_Format.txt")));
}

TEST(SpecScanProgram, LowSamplingRateStopsAtOnceAndLeavesTheListAsItWas) {
    TempDir dir;
    writeFile(dir.file("low.wav"), makeWav(test::tone(440, 0.2, 8000, 8000), {.sampleRate = 8000}));
    ProcessResult r = specScan(dir, defaultArgs(dir.file("low.wav")), "\n");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.ends_with("err: サンプリングレートが11025.00Hz以上でないと解析できません。"));
    EXPECT_EQ(r.out.find("Please enter"), std::string::npos);
    EXPECT_FALSE(fileExists(dir.file("SpecScan.txt")));
    writeFile(dir.file("SpecScan.txt"), "an earlier list\n");
    EXPECT_EQ(specScan(dir, defaultArgs(dir.file("low.wav")), "\n").exitCode, 1);
    EXPECT_EQ(readFile(dir.file("SpecScan.txt")), "an earlier list\n");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 3)
        << "no temporary file is left";
}

TEST(SpecScanProgram, RecordingShorterThanOneShiftGivesNoFrames) {
    TempDir dir;
    writeFile(dir.file("s.wav"), makeWav(std::vector<int16_t>(100, 1000), {.sampleRate = 11025}));
    ProcessResult r = specScan(dir, defaultArgs(dir.file("s.wav"), "_ms"));
    ASSERT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find("\tLoop-count is 0 [times].\n"), std::string::npos);
    const std::string text = readFile(dir.file("SpecScan.txt"));
    std::string line1 = "MaxdB: -1000.00 MindB: 1000.00";
    line1 += std::string(71 - line1.size(), ' ');
    EXPECT_EQ(text, line1 + "\nFrameRate: 10 LoopCount: 0\n" + dir.file("s.wav") + "\n" +
                        std::string(177, '-') + "\nend_of_file");
}

TEST(SpecScanProgram, SilenceGivesEmptyRecordsAndTheInitialExtremes) {
    TempDir dir;
    writeFile(dir.file("z.wav"), makeWav(std::vector<int16_t>(11025, 0), {.sampleRate = 11025}));
    ASSERT_EQ(specScan(dir, defaultArgs(dir.file("z.wav"), "-")).exitCode, 0);
    PeakFileHeader h = readPeakHeader(dir.file("SpecScan.txt"));
    EXPECT_EQ(h.maxdB, -1000.0f);
    EXPECT_EQ(h.mindB, 1000.0f);
    EXPECT_EQ(h.loopCount, 100);
    EXPECT_NE(readFile(dir.file("SpecScan.txt")).find("\n10: end\n20: end\n"), std::string::npos);
}

TEST(SpecScanProgram, DataSizeBeyondTheFileAnalysesWhatIsThere) {
    TempDir dir;
    WavOptions o{.sampleRate = 11025};
    o.dataSizeOverride = 0xFFFFFFFF;  // as streaming writers leave it
    writeFile(dir.file("big.wav"), makeWav(test::tone(440, 1.0, 8000, 11025), o));
    ProcessResult r = specScan(dir, defaultArgs(dir.file("big.wav"), "-"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("WaveFmt_Data[8] is \"-1\"."), std::string::npos);
    EXPECT_NE(r.err.find("announces 4294967295 bytes but the file holds 22050"), std::string::npos);
    EXPECT_EQ(readPeakHeader(dir.file("SpecScan.txt")).loopCount, 100);
}

// Reads every record of a peak list.
PeakTable records(const std::string& path) {
    PeakTable t;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    EXPECT_NE(f, nullptr);
    if (f) {
        const Status read = readPeakRecords(f, path, t);
        EXPECT_TRUE(read.ok()) << read.message();
        std::fclose(f);
    }
    return t;
}

struct ToneCase {
    int rate;
    int channels;
    int bits;
};

void PrintTo(const ToneCase& c, std::ostream* os) {
    *os << c.rate << " Hz, " << c.channels << " ch, " << c.bits << " bit";
}

class SpecScanTone : public ::testing::TestWithParam<ToneCase> {};

// One bin is 11025 / 4096 = 2.69 Hz; with the Hamming window and the frame
// zero-padded eight times, the estimate from the peak bin and its lower
// neighbour stays within one bin of the true frequency.
TEST_P(SpecScanTone, EveryFrameOfTheToneHasAPeakNear440Hz) {
    const auto [rate, channels, bits] = GetParam();
    TempDir dir;
    WavOptions o{.sampleRate = rate, .channels = channels, .bits = bits};
    writeFile(dir.file("a.wav"), makeWav(test::tone(440.0, 1.0, 12000, rate, channels), o));
    ProcessResult r = specScan(dir, defaultArgs(dir.file("a.wav")));
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    PeakTable t = records(dir.file("SpecScan.txt"));
    ASSERT_EQ(t.size(), 100);
    const double bin = 11025.0 / 4096.0;
    // Records 0-2 are empty (confirmed peaks are dated 3 frames later); the
    // last frames reach past the end of the tone.
    for (int64_t i = 3; i < 95; ++i) {
        bool found = false;
        for (float f : t.at(i).freqs) found = found || std::fabs(f - 440.0) < bin;
        EXPECT_TRUE(found) << "record " << i;
        EXPECT_EQ(t.at(i).label, (i + 1) * 10);
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, SpecScanTone,
                         ::testing::Values(ToneCase{11025, 1, 16}, ToneCase{22050, 1, 16},
                                           ToneCase{44100, 2, 16}, ToneCase{48000, 2, 16},
                                           ToneCase{22050, 1, 8}),
                         [](const auto& test) {
                             return std::to_string(test.param.rate) + "Hz_" +
                                    std::to_string(test.param.channels) + "ch_" +
                                    std::to_string(test.param.bits) + "bit";
                         });

TEST(SpecScanProgram, ShiftJisWindowNameAndTenPointFiveShift) {
    TempDir dir;
    writeFile(dir.file("t.wav"), makeWav(test::tone(440, 1.0, 8000, 11025), {.sampleRate = 11025}));
    auto args = defaultArgs(dir.file("t.wav"), "-");
    args[2] = "10.5";
    args[8] = "\x83\x6E\x83\x7E\x83\x93\x83\x4F\x91\x8B";
    ProcessResult r = specScan(dir, args);
    ASSERT_EQ(r.exitCode, 0) << r.out;
    PeakFileHeader h = readPeakHeader(dir.file("SpecScan.txt"));
    EXPECT_EQ(h.frameRate, 10);
    EXPECT_EQ(h.loopCount, 95);  // trunc(1000 / 10.5)
    // Frames step by 115 samples; the last would start at 95 * 115.
    EXPECT_NE(r.out.find("First sample in the last frame is 10925 (22050*16 / 16)"),
              std::string::npos);
}

}  // namespace
}  // namespace sonvola
