#include "common/peakfile.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;

const std::string kDashes(177, '-');

std::string writeSmallList(const std::string& path, bool firstPass) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (firstPass)
        writeFirstPassPlaceholder(f);
    else
        writeRewrittenLine1(f, 48.59, -3.5);
    writeHeaderLines2to4(f, 10, 3, "/music/my song.wav");
    float fr[] = {261.73f, 523.94f};
    float lv[] = {35.12f, 21.07f};
    writeRecord(f, 10, fr, lv, 2);
    writeRecord(f, 20, nullptr, nullptr, 0);
    writeRecord(f, 30, fr, lv, 1);
    if (firstPass) {
        writeFirstPassLine1(f, 48.59, -3.5);
        std::fseek(f, 0, SEEK_END);
    }
    writeEndOfFile(f);
    std::fclose(f);
    return readFile(path);
}

TEST(PeakFile, FirstPassTextIsExact) {
    TempDir dir;
    std::string text = writeSmallList(dir.file("SpecScan.txt"), true);
    std::string line1 = "MaxdB: 48.59 MindB: -3.50";
    line1 += std::string(71 - line1.size(), ' ');
    EXPECT_EQ(text, line1 + "\nFrameRate: 10 LoopCount: 3\n/music/my song.wav\n" + kDashes +
                        "\n10: 261.73 35.12 523.94 21.07 end\n20: end\n30: 261.73 35.12 end\n"
                        "end_of_file");
}

TEST(PeakFile, RewrittenLine1HasTwoBlanks) {
    TempDir dir;
    std::string text = writeSmallList(dir.file("x.txt"), false);
    EXPECT_EQ(text.substr(0, text.find('\n') + 1), "MaxdB: 48.59 MindB: -3.50  \n");
}

// Every stage builds its records with beginRecord, appendPair and endRecord:
// labels of any size (a lump's label is its start record times the frame
// shift), written as printf writes them.
TEST(PeakFile, RecordsInMemoryAsPrintfWritesThem) {
    for (int64_t label : {int64_t{0}, int64_t{-7}, int64_t{10}, int64_t{2147483647},
                          int64_t{2147483648}, std::numeric_limits<int64_t>::min()}) {
        std::string line = "x";
        beginRecord(line, label);
        appendPair(line, 440.004, -3.125);
        endRecord(line);
        char expected[80];
        std::snprintf(expected, sizeof expected, "x%lld: %0.2f %0.2f end\n",
                      static_cast<long long>(label), 440.004, -3.125);
        EXPECT_EQ(line, expected);
    }
    TempDir dir;
    std::FILE* f = std::fopen(dir.file("r.txt").c_str(), "wb");
    const float fr[] = {1.5f}, lv[] = {2.25f};
    writeRecord(f, int64_t{30000000000}, fr, lv, 1);
    std::fclose(f);
    EXPECT_EQ(readFile(dir.file("r.txt")), "30000000000: 1.50 2.25 end\n");
}

TEST(PeakFile, BothFormsOfLine1ReadTheSame) {
    TempDir dir;
    writeSmallList(dir.file("a.txt"), true);
    writeSmallList(dir.file("b.txt"), false);
    for (const char* name : {"a.txt", "b.txt"}) {
        PeakFileHeader h = readPeakHeader(dir.file(name));
        EXPECT_FLOAT_EQ(h.maxdB, 48.59f) << name;
        EXPECT_FLOAT_EQ(h.mindB, -3.5f) << name;
        EXPECT_EQ(h.frameRate, 10);
        EXPECT_EQ(h.loopCount, 3);
        EXPECT_EQ(h.signalName, "/music/my song.wav");  // blanks kept: line 3 is a line
    }
}

TEST(PeakFile, RecordsReadBackWithEmptyRecordAndUnterminatedEnd) {
    TempDir dir;
    writeSmallList(dir.file("a.txt"), true);
    std::FILE* f = std::fopen(dir.file("a.txt").c_str(), "rb");
    PeakTable t;
    const Status read = readPeakRecords(f, "a.txt", t);
    std::fclose(f);
    ASSERT_TRUE(read.ok()) << read.message();
    ASSERT_EQ(t.size(), 3);
    EXPECT_EQ(t.at(0).label, 10);
    ASSERT_EQ(t.count(0), 2);
    EXPECT_FLOAT_EQ(t.at(0).freqs[1], 523.94f);
    EXPECT_FLOAT_EQ(t.at(0).levels[1], 21.07f);
    EXPECT_EQ(t.count(1), 0);
    EXPECT_EQ(t.at(1).label, 20);
    EXPECT_EQ(t.count(2), 1);
    EXPECT_EQ(t.count(3), 0);  // past the last record
    EXPECT_EQ(t.count(-1), 0);
}

TEST(PeakFile, CarriageReturnLineEndsAreAccepted) {
    TempDir dir;
    writeFile(dir.file("crlf.txt"),
              "MaxdB: 1.00 MindB: 2.00  \r\nFrameRate: 5 LoopCount: 2\r\nC:\\a b.wav\r\n---\r\n"
              "5: 100.00 20.00 end\r\n10: end\r\nend_of_file");
    PeakFileHeader h = readPeakHeader(dir.file("crlf.txt"));
    EXPECT_EQ(h.frameRate, 5);
    EXPECT_EQ(h.loopCount, 2);
    EXPECT_EQ(h.signalName, "C:\\a b.wav");
    std::FILE* f = std::fopen(dir.file("crlf.txt").c_str(), "rb");
    PeakTable t;
    EXPECT_TRUE(readPeakRecords(f, "crlf.txt", t).ok());
    EXPECT_EQ(t.size(), 2);
    std::fclose(f);
    EXPECT_FLOAT_EQ(t.at(0).freqs[0], 100.0f);
}

TEST(PeakFile, ValuesSurviveSinglePrecisionRoundTrip) {
    // Every two-decimal value below 100000 prints back the same from a float.
    for (double v : {0.01, 5499.99, -999.99, 99999.99, 12345.67, -0.5}) {
        std::string a, b;
        appendFixed2(a, v);
        appendFixed2(b, static_cast<float>(v));
        EXPECT_EQ(a, b) << v;
    }
}

TEST(PeakFile, TwoDecimalsExactlyAsPrintfWritesThem) {
    std::vector<double> values = {0.0,      -0.0,      0.005,    0.015,       0.125, -0.125, 2.675,
                                  1.005,    -0.001,    0.004999, 9999999.995, 1e7,   1e300,  -1e300,
                                  HUGE_VAL, -HUGE_VAL, NAN,      5.0e-324,    0.995, 99.995};
    std::mt19937_64 rng(5);
    std::uniform_real_distribution<double> u(-6000.0, 6000.0);
    for (int i = 0; i < 200000; ++i) {
        double v = u(rng);
        if (i % 4 == 1) v = std::round(v * 1000.0) / 1000.0;  // many near-halves of a hundredth
        if (i % 4 == 2) v = static_cast<float>(v);            // values read from the files
        if (i % 4 == 3) v = (std::floor(v * 100.0) + 0.5) / 100.0;
        values.push_back(v);
    }
    for (double v : values) {
        char want[512];
        std::snprintf(want, sizeof want, "%0.2f ", v);
        std::string got;
        appendFixed2(got, v);
        ASSERT_EQ(got, want) << std::hexfloat << v;
    }
}

struct BadList {
    const char* name;
    std::string body;
    PeakReadError code;
    int64_t records;
    std::string message;
};

void PrintTo(const BadList& b, std::ostream* os) {
    *os << b.name;
}

class PeakFileBadInput : public ::testing::TestWithParam<BadList> {};

TEST_P(PeakFileBadInput, IsRefusedInOrder) {
    TempDir dir;
    writeFile(dir.file("p.txt"), "l1\nl2\nl3\nl4\n" + GetParam().body);
    std::FILE* f = std::fopen(dir.file("p.txt").c_str(), "rb");
    PeakTable t;
    const Status read = readPeakRecords(f, "p.txt", t);
    std::fclose(f);
    ASSERT_FALSE(read.ok());
    EXPECT_EQ(read.code<PeakReadError>(), GetParam().code);
    EXPECT_EQ(t.size(), GetParam().records);
    EXPECT_EQ(read.message(), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PeakFileBadInput,
    ::testing::Values(
        BadList{"empty", "", PeakReadError::EndsEarly, 0,
                "err: p.txt ends before \"end_of_file\" (after 0 complete records)\n"},
        BadList{"no_end_of_file", "10: 1.00 2.00 end\n20: end\n", PeakReadError::EndsEarly, 2,
                "err: p.txt ends before \"end_of_file\" (after 2 complete records)\n"},
        BadList{"inside_record", "10: 1.00 2.00 3.00", PeakReadError::EndsEarly, 0,
                "err: p.txt ends before \"end_of_file\" (after 0 complete records)\n"},
        BadList{"half_pair", "10: 1.00", PeakReadError::EndsEarly, 0,
                "err: p.txt ends before \"end_of_file\" (after 0 complete records)\n"},
        BadList{"long_token", "5: end\n10: " + std::string(256, '1') + " 2 end\nend_of_file",
                PeakReadError::TokenTooLong, 1,
                "err: p.txt holds a word longer than 255 bytes after record 1\n"}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(PeakFile, TokenOf255BytesIsAccepted) {
    TempDir dir;
    writeFile(dir.file("p.txt"),
              "a\nb\nc\nd\n10: " + std::string(255, '1') + " 2 end\nend_of_file");
    std::FILE* f = std::fopen(dir.file("p.txt").c_str(), "rb");
    PeakTable t;
    EXPECT_TRUE(readPeakRecords(f, "p.txt", t).ok());
    std::fclose(f);
}

TEST(PeakFile, ManyRecordsAndLongRecordsGrowTheTable) {
    TempDir dir;
    std::string body;
    for (int i = 0; i < 20000; ++i) body += std::to_string(i) + ": end\n";
    body += "7: ";
    for (int i = 0; i < 12000; ++i) body += "440.00 -3.00 ";
    body += "end\nend_of_file";
    writeFile(dir.file("p.txt"), "a\nb\nc\nd\n" + body);
    std::FILE* f = std::fopen(dir.file("p.txt").c_str(), "rb");
    PeakTable t;
    EXPECT_TRUE(readPeakRecords(f, "p.txt", t).ok());
    std::fclose(f);
    EXPECT_EQ(t.size(), 20001);
    EXPECT_EQ(t.count(20000), 12000);
}

TEST(PeakFile, MissingFileGivesZeroHeader) {
    PeakFileHeader h = readPeakHeader("/nonexistent/SpecScan.txt");
    EXPECT_EQ(h.frameRate, 0);
    EXPECT_EQ(h.loopCount, 0);
    EXPECT_EQ(h.maxdB, 0.0f);
    EXPECT_TRUE(h.signalName.empty());
}

TEST(PeakFile, MalformedHeaderLinesLeaveZeros) {
    TempDir dir;
    writeFile(dir.file("h.txt"), "MaxdB: x MindB:\nFrameRate: ten LoopCount: 3\n");
    PeakFileHeader h = readPeakHeader(dir.file("h.txt"));
    EXPECT_EQ(h.maxdB, 0.0f);
    EXPECT_EQ(h.frameRate, 0);
    EXPECT_EQ(h.loopCount, 0);
}

}  // namespace
}  // namespace sonvola
