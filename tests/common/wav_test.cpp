#include "common/wav.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"

namespace sonvola {
namespace {

using test::makeWav;
using test::makeWavBytes;
using test::readFile;
using test::TempDir;
using test::WavOptions;
using test::writeFile;

struct Captured {
    std::FILE* f = std::tmpfile();
    ~Captured() { std::fclose(f); }
    std::string text() {
        std::fflush(f);
        std::rewind(f);
        std::string s;
        int c;
        while ((c = std::fgetc(f)) != EOF) s += static_cast<char>(c);
        return s;
    }
};

TEST(WaveDump, CanonicalHeaderTextIsExact) {
    TempDir dir;
    WavOptions o;
    o.sampleRate = 44100;
    o.channels = 2;
    writeFile(dir.file("a b.wav"), makeWav(std::vector<int16_t>(8, 100), o));
    const std::string wav = dir.file("a b.wav");
    ASSERT_EQ(dumpWaveHeader(wav, dir.file("dump.txt")), DumpStatus::Ok);
    const std::string expected =
        "/*\n *\n * WAVE ファイルフォーマット\n * http://soundfile.sapp.org/doc/WaveFormat/\n *\n"
        " * " +
        wav +
        "\n *\n */\n\n"
        "/* RIFF   --- RIFF ヘッダ */\n"
        "52 /* ファイルサイズ [bytes]:これ以降のファイルサイズ (ファイルサイズ-8) */\n"
        "\n/* WAVE   --- RIFF の種類が WAVE であることをあらわす */\n"
        "/* fmt   --- フォーマットの定義 */\n"
        "16 /* チャンクのバイト数 [bytes]:リニア PCM ならば16(10_00_00_00) */\n"
        "1 /* フォーマットID: リニア PCM ならば1(01_00) */\n"
        "2 /* チャンネル数 [channel]:モノラルならば1(01_00)、ステレオならば2(02_00) */\n"
        "44100 /* サンプリングレート[frames/sec]: */\n"
        "176400 /* データ速度 [bytes/frame]:44.1kHz 16bit ステレオならば "
        "44100×2×2=176400(10_B1_02_00) */\n"
        "4 /* ブロックサイズ [bytes/sample×チャンネル数]:16bit ステレオならば 2×2=4(04_00) */\n"
        "16 /* 量子化ビット数 [bits/sample]:WAV フォーマットでは 8bit か 16bit */\n"
        "\n/* data   --- data チャンク */\n"
        "16 /* 波形データのバイト数[bytes]: */\n"
        "44 /* ヘッダのバイト数[bytes]: */\n";
    EXPECT_EQ(readFile(dir.file("dump.txt")), expected);

    WaveFmt_Data v{};
    Captured out, err;
    ASSERT_EQ(readWaveFmtData(dir.file("dump.txt"), v, out.f, err.f), 10);
    EXPECT_EQ(v, (WaveFmt_Data{52, 16, 1, 2, 44100, 176400, 4, 16, 16, 44}));
    EXPECT_EQ(err.text(), "..Information on this header file\n");
    EXPECT_TRUE(out.text().starts_with("WaveFmt_Data[0] is \"52\".\nWaveFmt_Data[1] is \"16\".\n"));
    EXPECT_TRUE(out.text().ends_with("WaveFmt_Data[9] is \"44\".\n"));
}

TEST(WaveDump, LongFmtAndListChunkGiveTheFirstSampleOffset) {
    TempDir dir;
    WavOptions o;
    o.fmtChunkSize = 18;
    o.listChunkBeforeData = true;
    std::string bytes = makeWav(std::vector<int16_t>(4, 7), o);
    writeFile(dir.file("x.wav"), bytes);
    ASSERT_EQ(dumpWaveHeader(dir.file("x.wav"), dir.file("d.txt")), DumpStatus::Ok);
    WaveFmt_Data v{};
    Captured out, err;
    ASSERT_EQ(readWaveFmtData(dir.file("d.txt"), v, out.f, err.f), 10);
    const size_t dataAt = bytes.find("data") + 8;
    EXPECT_EQ(v[kHeaderBytes], static_cast<int32_t>(dataAt));
    EXPECT_EQ(bytes.substr(dataAt, 2), std::string("\x07\x00", 2));
}

TEST(WaveDump, EmptyDataChunkGivesNineValues) {
    TempDir dir;
    writeFile(dir.file("e.wav"), makeWav({}, {}));
    ASSERT_EQ(dumpWaveHeader(dir.file("e.wav"), dir.file("d.txt")), DumpStatus::Ok);
    WaveFmt_Data v{};
    Captured out, err;
    EXPECT_EQ(readWaveFmtData(dir.file("d.txt"), v, out.f, err.f), 9);
}

TEST(WaveDump, RefusesWhatIsNotRiffAndStopsWithoutDataTag) {
    TempDir dir;
    writeFile(dir.file("n.wav"), "RIFX0000WAVE");
    EXPECT_EQ(dumpWaveHeader(dir.file("n.wav"), dir.file("d.txt")), DumpStatus::NotRiff);
    EXPECT_NE(readFile(dir.file("d.txt")).find(" */\n\n"), std::string::npos);  // comment kept
    writeFile(dir.file("short.wav"), "RI");
    EXPECT_EQ(dumpWaveHeader(dir.file("short.wav"), dir.file("d.txt")), DumpStatus::NotRiff);
    writeFile(dir.file("nodata.wav"), "RIFF" + std::string(300, 'x'));
    EXPECT_EQ(dumpWaveHeader(dir.file("nodata.wav"), dir.file("d.txt")), DumpStatus::NoDataChunk);
    // A "data" tag in the last three bytes of the view does not count: its size would lie outside.
    writeFile(dir.file("tag.wav"), "RIFF" + std::string(194, 'x') + "data");
    EXPECT_EQ(dumpWaveHeader(dir.file("tag.wav"), dir.file("d.txt")), DumpStatus::NoDataChunk);
    EXPECT_EQ(dumpWaveHeader(dir.file("missing.wav"), dir.file("d.txt")),
              DumpStatus::CannotOpenWav);
    EXPECT_EQ(dumpWaveHeader(dir.file("short.wav"), dir.file("no/such/dir/d.txt")),
              DumpStatus::CannotCreateDump);
}

}  // namespace
}  // namespace sonvola
