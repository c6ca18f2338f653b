#include "common/wav.h"

#include <algorithm>
#include <bit>
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

// High word times 65536 plus low word, then shown as a signed value.
int32_t s32(const unsigned char* p) {
    return static_cast<int32_t>(readLe32(p));
}

DumpStatus writeDump(std::FILE* wav, std::FILE* o, const std::string& wavPath);

}  // namespace

bool readWavChunks(std::FILE* file, WavChunks& chunks, int maxChunks, int64_t within) {
    chunks = WavChunks{};
    unsigned char h[16];
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(h, 1, 12, file) != 12 ||
        std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0) {
        return false;
    }
    int64_t at = 12;
    for (int n = 0; n < maxChunks && at + 8 <= within; ++n) {
        if (std::fseek(file, static_cast<long>(at), SEEK_SET) != 0 ||
            std::fread(h, 1, 8, file) != 8) {
            break;
        }
        const uint32_t size = readLe32(h + 4);
        if (std::memcmp(h, "data", 4) == 0) {
            chunks.dataAt = at;
            chunks.dataSize = size;
            break;
        }
        if (std::memcmp(h, "fmt ", 4) == 0) {
            ++chunks.fmtChunks;
            chunks.fmtAt = at;
            chunks.fmtSize = size;
            chunks.fmtComplete = std::fread(h, 1, 16, file) == 16;
            if (chunks.fmtComplete) {
                chunks.format = {readLe16(h),     readLe16(h + 2),  readLe32(h + 4),
                                 readLe32(h + 8), readLe16(h + 12), readLe16(h + 14)};
            }
        }
        at += 8 + static_cast<int64_t>(size) + (size & 1);
    }
    return true;
}

std::vector<StageTagAt> stageHeaderTags(const unsigned char* b, size_t n) {
    std::vector<StageTagAt> tags;
    size_t p = 0;
    while (p + 4 <= n) {
        const unsigned char* t = b + p;
        if (std::memcmp(t, "data", 4) == 0) {
            tags.push_back({StageTag::Data, p});
            break;
        } else if (std::memcmp(t, "RIFF", 4) == 0) {
            tags.push_back({StageTag::Riff, p});
            p += 8;
        } else if (std::memcmp(t, "WAVE", 4) == 0) {
            tags.push_back({StageTag::Wave, p});
            p += 4;
        } else if (std::memcmp(t, "fmt ", 4) == 0) {
            tags.push_back({StageTag::Fmt, p});
            p += 24;
        } else {
            p += 2;
        }
    }
    return tags;
}

void writePcm16WavHeader(unsigned char* h, int channels, int rate, uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    putLe32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    putLe32(h + 16, 16);
    putLe16(h + 20, 1);
    putLe16(h + 22, static_cast<uint32_t>(channels));
    putLe32(h + 24, static_cast<uint32_t>(rate));
    putLe32(h + 28, static_cast<uint32_t>(rate * channels * 2));
    putLe16(h + 32, static_cast<uint32_t>(channels * 2));
    putLe16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    putLe32(h + 40, dataBytes);
}

DumpStatus dumpWaveHeader(const std::string& wavPath, const std::string& dumpPath,
                          std::string* cause) {
    FilePtr wav(std::fopen(wavPath.c_str(), "rb"));
    if (!wav) return DumpStatus::CannotOpenWav;
    OutputFile dump;
    if (Status opened = dump.open(dumpPath); !opened) {
        if (cause) *cause = opened.message();
        return DumpStatus::CannotCreateDump;
    }
    const DumpStatus status = writeDump(wav.get(), dump.get(), wavPath);
    if (Status committed = dump.commit(); !committed) {
        if (cause) *cause = committed.message();
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

    for (const StageTagAt& tag : stageHeaderTags(b, nread)) {
        const unsigned char* t = b + tag.at;
        switch (tag.tag) {
            case StageTag::Data:
                std::fputs("\n/* data   --- data チャンク */\n", o);
                std::fprintf(o, "%d /* 波形データのバイト数[bytes]: */\n", s32(t + 4));
                std::fprintf(o, "%d /* ヘッダのバイト数[bytes]: */\n",
                             static_cast<int>(tag.at + 8));
                return DumpStatus::Ok;
            case StageTag::Riff:
                std::fputs("/* RIFF   --- RIFF ヘッダ */\n", o);
                std::fprintf(o,
                             "%d /* ファイルサイズ [bytes]:これ以降のファイルサイズ "
                             "(ファイルサイズ-8) */\n",
                             s32(t + 4));
                break;
            case StageTag::Wave:
                std::fputs("\n/* WAVE   --- RIFF の種類が WAVE であることをあらわす */\n", o);
                break;
            case StageTag::Fmt:
                std::fputs("/* fmt   --- フォーマットの定義 */\n", o);
                std::fprintf(
                    o, "%d /* チャンクのバイト数 [bytes]:リニア PCM ならば16(10_00_00_00) */\n",
                    s32(t + 4));
                std::fprintf(o, "%d /* フォーマットID: リニア PCM ならば1(01_00) */\n",
                             static_cast<int>(readLe16(t + 8)));
                std::fprintf(o,
                             "%d /* チャンネル数 [channel]:モノラルならば1(01_00)、"
                             "ステレオならば2(02_00) */\n",
                             static_cast<int>(readLe16(t + 10)));
                std::fprintf(o, "%d /* サンプリングレート[frames/sec]: */\n", s32(t + 12));
                std::fprintf(o,
                             "%d /* データ速度 [bytes/frame]:44.1kHz 16bit ステレオならば "
                             "44100×2×2=176400(10_B1_02_00) */\n",
                             s32(t + 16));
                std::fprintf(
                    o,
                    "%d /* ブロックサイズ [bytes/sample×チャンネル数]:16bit ステレオならば "
                    "2×2=4(04_00) */\n",
                    static_cast<int>(readLe16(t + 20)));
                std::fprintf(
                    o,
                    "%d /* 量子化ビット数 [bits/sample]:WAV フォーマットでは 8bit か 16bit "
                    "*/\n",
                    static_cast<int>(readLe16(t + 22)));
                break;
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

WaveSampleStream::~WaveSampleStream() {
    if (file_) std::fclose(file_);
}

bool WaveSampleStream::open(const std::string& path, int64_t dataBytes, int64_t offset, int bits) {
    file_ = std::fopen(path.c_str(), "rb");
    if (!file_) return false;
    bits_ = bits;
    if (dataBytes < 0) dataBytes = 0;
    total_ = bits == 8 ? dataBytes : bits == 16 ? dataBytes * 8 / 16 : 0;
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) fileEnded_ = true;
    return true;
}

size_t WaveSampleStream::read(int16_t* out, size_t max) {
    const size_t n =
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(max), total_ - done_));
    if (n == 0) return 0;
    if (bits_ == 8) {
        bytes_.resize(n);
        size_t got = 0;
        if (!fileEnded_) {
            got = std::fread(bytes_.data(), 1, n, file_);
            if (got < n) fileEnded_ = true;
        }
        for (size_t i = 0; i < got; ++i) out[i] = pcm8To16(bytes_[i]);
        std::fill(out + got, out + n, int16_t{0});
    } else {
        // Little-endian 16-bit samples: on a little-endian machine the bytes
        // are the samples themselves. A sample the file holds only partly
        // reads as 0, like the missing ones.
        size_t whole = 0;
        if (!fileEnded_) {
            size_t got = 0;
            if constexpr (std::endian::native == std::endian::little) {
                got = std::fread(out, 1, 2 * n, file_);
            } else {
                bytes_.resize(2 * n);
                got = std::fread(bytes_.data(), 1, 2 * n, file_);
                for (size_t i = 0; 2 * i + 1 < got; ++i) {
                    out[i] = static_cast<int16_t>(
                        static_cast<uint16_t>(bytes_[2 * i] | (bytes_[2 * i + 1] << 8)));
                }
            }
            if (got < 2 * n) fileEnded_ = true;
            whole = got / 2;
        }
        std::fill(out + whole, out + n, int16_t{0});
    }
    done_ += static_cast<int64_t>(n);
    return n;
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
