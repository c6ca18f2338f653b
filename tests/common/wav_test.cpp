#include "common/wav.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

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
    ASSERT_TRUE(dumpWaveHeader(wav, dir.file("dump.txt")).ok());
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

    Captured out, err;
    Result<WaveFmt_Data> v = readWaveFmtData(dir.file("dump.txt"), out.f, err.f);
    ASSERT_TRUE(v) << v.message();
    EXPECT_EQ(*v, (WaveFmt_Data{52, 16, 1, 2, 44100, 176400, 4, 16, 16, 44}));
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
    ASSERT_TRUE(dumpWaveHeader(dir.file("x.wav"), dir.file("d.txt")).ok());
    Captured out, err;
    Result<WaveFmt_Data> v = readWaveFmtData(dir.file("d.txt"), out.f, err.f);
    ASSERT_TRUE(v) << v.message();
    const size_t dataAt = bytes.find("data") + 8;
    EXPECT_EQ((*v)[kHeaderBytes], static_cast<int32_t>(dataAt));
    EXPECT_EQ(bytes.substr(dataAt, 2), std::string("\x07\x00", 2));
}

TEST(WaveDump, ReadBackRefusesOtherThanTenValuesAndAMissingDump) {
    TempDir dir;
    writeFile(dir.file("e.wav"), makeWav({}, {}));
    ASSERT_TRUE(dumpWaveHeader(dir.file("e.wav"), dir.file("d.txt")).ok());
    Captured out, err;
    // An empty data chunk's size reads as no value: nine are left.
    Result<WaveFmt_Data> v = readWaveFmtData(dir.file("d.txt"), out.f, err.f);
    ASSERT_FALSE(v);
    EXPECT_EQ(v.message(), "\nWaveFmt_Dataに格納したデータ数のエラー");
    EXPECT_TRUE(out.text().ends_with("WaveFmt_Data[8] is \"44\".\n")) << out.text();

    Result<WaveFmt_Data> missing = readWaveFmtData(dir.file("Wave_File_Format.txt"), out.f, err.f);
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.message(), "cannot open! > Wave_File_Format.txt");
}

TEST(WaveDump, RefusesWhatIsNotRiffAndStopsWithoutDataTag) {
    TempDir dir;
    const std::string notRiff = "error: 評価データが WAVE ファイルではありません ";
    writeFile(dir.file("n.wav"), "RIFX0000WAVE");
    EXPECT_EQ(dumpWaveHeader(dir.file("n.wav"), dir.file("d.txt")).message(), notRiff);
    EXPECT_NE(readFile(dir.file("d.txt")).find(" */\n\n"), std::string::npos);  // comment kept
    writeFile(dir.file("short.wav"), "RI");
    EXPECT_EQ(dumpWaveHeader(dir.file("short.wav"), dir.file("d.txt")).message(), notRiff);
    writeFile(dir.file("nodata.wav"), "RIFF" + std::string(300, 'x'));
    EXPECT_EQ(dumpWaveHeader(dir.file("nodata.wav"), dir.file("d.txt")).message(),
              "err: no \"data\" chunk in the first 200 bytes of " + dir.file("nodata.wav") + "\n");
    // A "data" tag in the last three bytes of the view does not count: its size would lie outside.
    writeFile(dir.file("tag.wav"), "RIFF" + std::string(194, 'x') + "data");
    EXPECT_FALSE(dumpWaveHeader(dir.file("tag.wav"), dir.file("d.txt")).ok());
    EXPECT_EQ(dumpWaveHeader(dir.file("missing.wav"), dir.file("d.txt")).message(),
              "cannot open! " + dir.file("missing.wav") + "\n" + std::strerror(ENOENT) + "\n");
    const Status noDump = dumpWaveHeader(dir.file("short.wav"), dir.file("no/such/dir/d.txt"));
    EXPECT_TRUE(
        noDump.message().starts_with("cannot open! " + dir.file("no/such/dir/d.txt") + "\n"))
        << noDump.message();
    EXPECT_TRUE(noDump.message().ends_with("\n")) << noDump.message();
}

TEST(WaveData, RefusesWhatCannotBeAnalysedAndCutsTheSizeToTheFile) {
    // RIFF size, fmt size, format, channels, rate, byte rate, block, bits, data bytes, header.
    const WaveFmt_Data mono16{1036, 16, 1, 1, 44100, 88200, 2, 16, 1000, 44};
    Result<WaveDataSize> whole = usableWaveData(mono16, "r.wav", 1044);
    ASSERT_TRUE(whole) << whole.message();
    EXPECT_EQ(whole->bytes, 1000);
    EXPECT_EQ(whole->note, "");

    Result<WaveDataSize> cut = usableWaveData(mono16, "r.wav", 544);
    ASSERT_TRUE(cut) << cut.message();
    EXPECT_EQ(cut->bytes, 500);
    EXPECT_EQ(cut->note,
              "\n..The data chunk announces 1000 bytes but the file holds 500 after the header: "
              "those are analysed.\n");

    WaveFmt_Data v = mono16;
    v[kBitsPerSample] = 24;
    EXPECT_EQ(usableWaveData(v, "r.wav", 1044).message(),
              "err: r.wav has 24 bits per sample; only 8- and 16-bit PCM recordings can be "
              "analysed\n");
    v = mono16;
    v[kChannels] = 6;
    EXPECT_EQ(usableWaveData(v, "r.wav", 1044).message(),
              "err: r.wav has 6 channels; only mono and stereo recordings can be analysed\n");
    v = mono16;
    v[kByteRate] = 0;
    EXPECT_EQ(usableWaveData(v, "r.wav", 1044).message(),
              "err: the byte rate in the header of r.wav is 0; it must be positive\n");
    // 2^31 bytes announced and present: one more than can be analysed.
    v = mono16;
    v[kDataBytes] = INT32_MIN;
    EXPECT_EQ(usableWaveData(v, "r.wav", int64_t{1} << 32).message(),
              "err: the data chunk of r.wav holds more than 2147483647 bytes, the largest "
              "recording that can be analysed\n");
}

}  // namespace
}  // namespace sonvola
