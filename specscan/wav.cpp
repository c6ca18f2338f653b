#include "specscan/wav.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

#include "common/console.h"
#include "common/fileptr.h"
#include "common/numbers.h"
#include "common/outputfile.h"

namespace sonvola {

namespace {

constexpr size_t kHeaderView = 200;

uint32_t u16(const unsigned char* p) {
    return static_cast<uint32_t>(p[0] | (p[1] << 8));
}

// High word times 65536 plus low word, then shown as a signed value.
int32_t s32(const unsigned char* p) {
    uint32_t v = u16(p + 2) * 65536u + u16(p);
    return static_cast<int32_t>(v);
}

}  // namespace

namespace {

DumpStatus writeDump(std::FILE* wav, std::FILE* o, const std::string& wavPath);

}  // namespace

DumpStatus dumpWaveHeader(const std::string& wavPath, const std::string& dumpPath,
                          std::string* cause) {
    FilePtr wav(std::fopen(wavPath.c_str(), "rb"));
    if (!wav) return DumpStatus::CannotOpenWav;
    OutputFile dump;
    std::string error;
    if (!dump.open(dumpPath, error)) {
        if (cause) *cause = error;
        return DumpStatus::CannotCreateDump;
    }
    const DumpStatus status = writeDump(wav.get(), dump.get(), wavPath);
    if (!dump.commit(error)) {
        if (cause) *cause = error;
        return DumpStatus::CannotCreateDump;
    }
    return status;
}

namespace {

DumpStatus writeDump(std::FILE* wav, std::FILE* o, const std::string& wavPath) {
    std::fputs("/*\n", o);
    std::fputs(" *\n", o);
    std::fputs(" * WAVE ファイルフォーマット\n", o);
    std::fprintf(o, " * %s\n", kWaveFormatReference);
    std::fputs(" *\n", o);
    std::fprintf(o, " * %s\n *\n */\n\n", wavPath.c_str());

    // Room past the view so that the fields of a tag near its end read as 0.
    unsigned char b[kHeaderView + 32] = {};
    size_t nread = std::fread(b, 1, kHeaderView, wav);
    if (nread < 4 || std::memcmp(b, "RIFF", 4) != 0) return DumpStatus::NotRiff;

    size_t p = 0;
    while (p + 4 <= nread) {
        const unsigned char* t = b + p;
        if (std::memcmp(t, "data", 4) == 0) {
            std::fputs("\n/* data   --- data チャンク */\n", o);
            std::fprintf(o, "%d /* 波形データのバイト数[bytes]: */\n", s32(t + 4));
            std::fprintf(o, "%d /* ヘッダのバイト数[bytes]: */\n", static_cast<int>(p + 8));
            return DumpStatus::Ok;
        } else if (std::memcmp(t, "RIFF", 4) == 0) {
            std::fputs("/* RIFF   --- RIFF ヘッダ */\n", o);
            std::fprintf(o,
                         "%d /* ファイルサイズ [bytes]:これ以降のファイルサイズ "
                         "(ファイルサイズ-8) */\n",
                         s32(t + 4));
            p += 8;
        } else if (std::memcmp(t, "WAVE", 4) == 0) {
            std::fputs("\n/* WAVE   --- RIFF の種類が WAVE であることをあらわす */\n", o);
            p += 4;
        } else if (std::memcmp(t, "fmt ", 4) == 0) {
            std::fputs("/* fmt   --- フォーマットの定義 */\n", o);
            std::fprintf(o,
                         "%d /* チャンクのバイト数 [bytes]:リニア PCM ならば16(10_00_00_00) */\n",
                         s32(t + 4));
            std::fprintf(o, "%d /* フォーマットID: リニア PCM ならば1(01_00) */\n",
                         static_cast<int>(u16(t + 8)));
            std::fprintf(o,
                         "%d /* チャンネル数 [channel]:モノラルならば1(01_00)、"
                         "ステレオならば2(02_00) */\n",
                         static_cast<int>(u16(t + 10)));
            std::fprintf(o, "%d /* サンプリングレート[frames/sec]: */\n", s32(t + 12));
            std::fprintf(o,
                         "%d /* データ速度 [bytes/frame]:44.1kHz 16bit ステレオならば "
                         "44100×2×2=176400(10_B1_02_00) */\n",
                         s32(t + 16));
            std::fprintf(o,
                         "%d /* ブロックサイズ [bytes/sample×チャンネル数]:16bit ステレオならば "
                         "2×2=4(04_00) */\n",
                         static_cast<int>(u16(t + 20)));
            std::fprintf(o,
                         "%d /* 量子化ビット数 [bits/sample]:WAV フォーマットでは 8bit か 16bit "
                         "*/\n",
                         static_cast<int>(u16(t + 22)));
            p += 24;
        } else {
            p += 2;
        }
    }
    return DumpStatus::NoDataChunk;
}

}  // namespace

int readWaveFmtData(const std::string& dumpPath, WaveFmt_Data& values, std::FILE* out,
                    std::FILE* err) {
    values.fill(0);
    FilePtr f(std::fopen(dumpPath.c_str(), "rb"));
    if (!f) return -1;
    std::fputs("..Information on this header file\n", err);
    int found = 0;
    char* line = nullptr;
    size_t cap = 0;
    // Whole lines are read, so that a long path on a comment line can never be
    // split into a piece that starts with a digit.
    while (getline(&line, &cap, f.get()) >= 0) {
        int32_t v = parseLenientInt(line);
        if (v != 0) {
            if (found < kWaveFmtCount) values[static_cast<size_t>(found)] = v;
            std::fprintf(out, "WaveFmt_Data[%d] is \"%d\".\n", found, v);
            ++found;
        }
    }
    std::free(line);
    return found;
}

bool usableWaveData(const WaveFmt_Data& fmt, const std::string& wavPath, int64_t fileSize,
                    int64_t& dataBytes, std::string& error, std::string& note) {
    const int bits = fmt[kBitsPerSample];
    if (bits != 8 && bits != 16) {
        error = format(
            "err: %s has %d bits per sample; only 8- and 16-bit PCM recordings can be "
            "analysed\n",
            wavPath.c_str(), bits);
        return false;
    }
    // More channels would be read as a mono signal at a fraction of its pitch.
    if (fmt[kChannels] != 1 && fmt[kChannels] != 2) {
        error = format("err: %s has %d channels; only mono and stereo recordings can be analysed\n",
                       wavPath.c_str(), fmt[kChannels]);
        return false;
    }
    if (fmt[kByteRate] <= 0) {
        error = format("err: the byte rate in the header of %s is %d; it must be positive\n",
                       wavPath.c_str(), fmt[kByteRate]);
        return false;
    }
    // The size as the header states it (2^31 and more reads back negative:
    // it is taken as unsigned), limited to the bytes present.
    dataBytes = static_cast<uint32_t>(fmt[kDataBytes]);
    const int64_t available = std::max<int64_t>(0, fileSize - fmt[kHeaderBytes]);
    note.clear();
    if (dataBytes > available) {
        note = format(
            "\n..The data chunk announces %lld bytes but the file holds %lld after the "
            "header: those are analysed.\n",
            static_cast<long long>(dataBytes), static_cast<long long>(available));
        dataBytes = available;
    }
    if (dataBytes > INT32_MAX) {
        error = format(
            "err: the data chunk of %s holds more than %d bytes, the largest recording that "
            "can be analysed\n",
            wavPath.c_str(), INT32_MAX);
        return false;
    }
    return true;
}

}  // namespace sonvola
