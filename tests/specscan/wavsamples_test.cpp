// The samples of a WAV file read whole, as the streamed reader must give them.
#include "specscan/reference/wavsamples.h"

#include <gtest/gtest.h>

#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"

namespace sonvola {
namespace {

using test::makeWav;
using test::makeWavBytes;
using test::TempDir;
using test::WavOptions;
using test::writeFile;

TEST(WaveSamples, EightBitConvertsAndReportsAmplitude) {
    TempDir dir;
    WavOptions o;
    o.bits = 8;
    writeFile(dir.file("b.wav"), makeWavBytes(std::string("\x00\x80\xff\x80", 4), o));
    std::vector<int16_t> s;
    std::string console;
    ASSERT_TRUE(readWaveSamples(dir.file("b.wav"), 4, 44, 8, s, console));
    EXPECT_EQ(s, (std::vector<int16_t>{-32768, 128, 32767, 128}));
    EXPECT_EQ(console,
              "\n..Quantization bit rate is converted 8 into 16.\n"
              "\n\tAmplitude is \"mini: -32768\" and \"maxi: 32767\".\n");
}

TEST(WaveSamples, EightBitSilenceReads128) {
    TempDir dir;
    WavOptions o;
    o.bits = 8;
    writeFile(dir.file("s.wav"), makeWavBytes(std::string(6, '\x80'), o));
    std::vector<int16_t> s;
    std::string console;
    ASSERT_TRUE(readWaveSamples(dir.file("s.wav"), 6, 44, 8, s, console));
    EXPECT_EQ(s, std::vector<int16_t>(6, 128));
    EXPECT_NE(console.find("\"mini: 128\" and \"maxi: 128\""), std::string::npos);
}

TEST(WaveSamples, SixteenBitLittleEndianAndMissingBytesReadAsZero) {
    TempDir dir;
    writeFile(dir.file("t.wav"), makeWav({1, -2, 32767, -32768}, {}));
    std::vector<int16_t> s;
    std::string console;
    ASSERT_TRUE(readWaveSamples(dir.file("t.wav"), 12, 44, 16, s, console));  // 4 bytes too many
    EXPECT_EQ(s, (std::vector<int16_t>{1, -2, 32767, -32768, 0, 0}));
    EXPECT_EQ(console, "\n\tAmplitude is \"mini: -32768\" and \"maxi: 32767\".\n");
}

TEST(WaveSamples, OtherWidthsReadNothingAndMissingFileFails) {
    TempDir dir;
    writeFile(dir.file("t.wav"), makeWav({1, 2}, {}));
    std::vector<int16_t> s{5};
    std::string console;
    EXPECT_TRUE(readWaveSamples(dir.file("t.wav"), 4, 44, 24, s, console));
    EXPECT_TRUE(s.empty());
    EXPECT_EQ(console, "");
    EXPECT_FALSE(readWaveSamples(dir.file("none.wav"), 4, 44, 16, s, console));
}

}  // namespace
}  // namespace sonvola
