#include "common/tokenreader.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/peakfile.h"
#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

using Got = TokenReader::Got;

TEST(TokenReader, WordsLongerThanTheMaximumComeInPieces) {
    // As the plots read a file: pieces of 1024 bytes, the rest of the word next.
    test::TempDir dir;
    test::writeFile(dir.file("w.txt"), "  " + std::string(1500, 'x') + " y");
    std::FILE* f = std::fopen(dir.file("w.txt").c_str(), "rb");
    TokenReader in(f, 1024);
    EXPECT_EQ(in.next(), Got::TooLong);
    EXPECT_EQ(in.length(), 1024u);
    EXPECT_EQ(in.next(), Got::Token);
    EXPECT_EQ(in.length(), 476u);
    EXPECT_EQ(in.next(), Got::Token);
    EXPECT_EQ(in.token(), "y");
    EXPECT_EQ(in.next(), Got::End);
    EXPECT_EQ(in.token(), "y") << "the last word stays at the end";
    std::fclose(f);
}

TEST(TokenReader, AWordOfExactlyTheMaximumIsWhole) {
    const std::string text = std::string(255, 'a') + "\n" + std::string(256, 'b');
    TokenReader in(text, 255);
    EXPECT_EQ(in.next(), Got::Token);
    EXPECT_EQ(in.length(), 255u);
    EXPECT_EQ(in.next(), Got::TooLong);
    EXPECT_EQ(in.token(), std::string(255, 'b'));
    EXPECT_EQ(in.line(), 2);
}

TEST(TokenReader, SixBlanksSeparateAndOnlyLineFeedsCountLines) {
    const std::string text = std::string("a\tb\vc\fd\re\n\nf ") + '\0' + "g\x80";
    TokenReader in(text, TokenReader::kUnlimited);
    std::string words;
    while (in.next() == Got::Token) words += std::string(in.token()) + "|";
    EXPECT_EQ(words, std::string("a|b|c|d|e|f|") + '\0' + "g\x80|");
    EXPECT_EQ(in.line(), 3);
}

TEST(TokenReader, WordsAcrossTheBlocksOfALargeFile) {
    // Words that straddle the 64 KiB blocks of the file buffer stay whole.
    test::TempDir dir;
    std::string text;
    for (int i = 0; i < 30000; ++i) text += std::to_string(i) + (i % 7 ? " " : "\r\n");
    test::writeFile(dir.file("big.txt"), text);
    std::FILE* f = std::fopen(dir.file("big.txt").c_str(), "rb");
    TokenReader in(f, 255);
    int i = 0;
    for (; in.next() == Got::Token; ++i) ASSERT_EQ(in.token(), std::to_string(i));
    EXPECT_EQ(i, 30000);
    std::fclose(f);
}

TEST(TokenReader, LinesAfterWords) {
    TokenReader in(std::string_view("MaxdB: 1 tail  \r\nsecond line\nlast"), 255);
    ASSERT_EQ(in.next(), Got::Token);
    std::string line;
    EXPECT_TRUE(in.readLine(line));
    EXPECT_EQ(line, " 1 tail  ");
    EXPECT_TRUE(in.readLine(line));
    EXPECT_EQ(line, "second line");
    EXPECT_TRUE(in.readLine(line));
    EXPECT_EQ(line, "last");
    EXPECT_FALSE(in.readLine(line));
    EXPECT_EQ(in.line(), 3);
}

TEST(PeakHeaderValues, ReadInDoublePrecisionAndLeftAtTheRuleLine) {
    const std::string text =
        "MaxdB: 1234567.89 MindB: -3.5  \nFrameRate: 10 LoopCount: 300\nmy song.wav\n" +
        std::string(177, '-') + "\n0: end\nend_of_file";
    TokenReader in(text, 1024);
    const PeakHeaderValues h = readPeakHeaderValues(in);
    EXPECT_EQ(h.maxdB, 1234567.89);
    EXPECT_EQ(h.mindB, -3.5);
    EXPECT_EQ(h.frameRate, 10);
    EXPECT_EQ(h.loopCount, 300);
    EXPECT_EQ(h.signalName, "my song.wav");
    ASSERT_EQ(in.next(), Got::Token);
    EXPECT_EQ(in.token(), std::string(177, '-'));
}

}  // namespace
}  // namespace sonvola
