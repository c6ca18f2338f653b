#include "common/wav.h"

#include <algorithm>
#include <bit>
#include <cerrno>
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

Status writeDump(std::FILE* wav, std::FILE* o, const std::string& wavPath);

}  // namespace

std::optional<WavChunks> readWavChunks(std::FILE* file, int maxChunks, int64_t within) {
    WavChunks chunks;
    unsigned char h[16];
    if (std::fseek(file, 0, SEEK_SET) != 0 || std::fread(h, 1, 12, file) != 12 ||
        std::memcmp(h, "RIFF", 4) != 0 || std::memcmp(h + 8, "WAVE", 4) != 0) {
        return std::nullopt;
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
    return chunks;
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

Status dumpWaveHeader(const std::string& wavPath, const std::string& dumpPath) {
    FilePtr wav(std::fopen(wavPath.c_str(), "rb"));
    if (!wav) {
        return Status::error(
            format("cannot open! %s\n%s\n", wavPath.c_str(), std::strerror(errno)));
    }
    auto cannotWrite = [&](const Status& why) {
        return Status::error(
            format("cannot open! %s\n%s\n", dumpPath.c_str(), why.message().c_str()));
    };
    OutputFile dump;
    if (Status opened = dump.open(dumpPath); !opened) return cannotWrite(opened);
    Status written = writeDump(wav.get(), dump.get(), wavPath);
    if (Status committed = dump.commit(); !committed) return cannotWrite(committed);
    return written;
}

namespace {

Status writeDump(std::FILE* wav, std::FILE* o, const std::string& wavPath) {
    std::fputs("/*\n", o);
    std::fputs(" *\n", o);
    std::fputs(" * WAVE ファイルフォーマット\n", o);
    std::fprintf(o, " * %s\n", kWaveFormatReference);
    std::fputs(" *\n", o);
    std::fprintf(o, " * %s\n *\n */\n\n", wavPath.c_str());

    // Room past the view so that the fields of a tag near its end read as 0.
    unsigned char b[kHeaderView + 32] = {};
    size_t nread = std::fread(b, 1, kHeaderView, wav);
    if (nread < 4 || std::memcmp(b, "RIFF", 4) != 0) {
        return Status::error("error: 評価データが WAVE ファイルではありません ");
    }

    for (const StageTagAt& tag : stageHeaderTags(b, nread)) {
        const unsigned char* t = b + tag.at;
        switch (tag.tag) {
            case StageTag::Data:
                std::fputs("\n/* data   --- data チャンク */\n", o);
                std::fprintf(o, "%d /* 波形データのバイト数[bytes]: */\n", s32(t + 4));
                std::fprintf(o, "%d /* ヘッダのバイト数[bytes]: */\n",
                             static_cast<int>(tag.at + 8));
                return Status();
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
    return Status::error(
        format("err: no \"data\" chunk in the first 200 bytes of %s\n", wavPath.c_str()));
}

}  // namespace

Result<WaveFmt_Data> readWaveFmtData(const std::string& dumpPath, std::FILE* out, std::FILE* err) {
    WaveFmt_Data values{};
    FilePtr f(std::fopen(dumpPath.c_str(), "rb"));
    if (!f) {
        const size_t slash = dumpPath.rfind('/');
        return Status::error("cannot open! > " +
                             (slash == std::string::npos ? dumpPath : dumpPath.substr(slash + 1)));
    }
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
    if (found != kWaveFmtCount) return Status::error("\nWaveFmt_Dataに格納したデータ数のエラー");
    return values;
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

Result<WaveDataSize> usableWaveData(const WaveFmt_Data& fmt, const std::string& wavPath,
                                    int64_t fileSize) {
    const int bits = fmt[kBitsPerSample];
    if (bits != 8 && bits != 16) {
        return Status::error(
            format("err: %s has %d bits per sample; only 8- and 16-bit PCM recordings can be "
                   "analysed\n",
                   wavPath.c_str(), bits));
    }
    // More channels would be read as a mono signal at a fraction of its pitch.
    if (fmt[kChannels] != 1 && fmt[kChannels] != 2) {
        return Status::error(
            format("err: %s has %d channels; only mono and stereo recordings can be analysed\n",
                   wavPath.c_str(), fmt[kChannels]));
    }
    if (fmt[kByteRate] <= 0) {
        return Status::error(
            format("err: the byte rate in the header of %s is %d; it must be positive\n",
                   wavPath.c_str(), fmt[kByteRate]));
    }
    // The size as the header states it (2^31 and more reads back negative:
    // it is taken as unsigned), limited to the bytes present.
    WaveDataSize data;
    data.bytes = static_cast<uint32_t>(fmt[kDataBytes]);
    const int64_t available = std::max<int64_t>(0, fileSize - fmt[kHeaderBytes]);
    if (data.bytes > available) {
        data.note = format(
            "\n..The data chunk announces %lld bytes but the file holds %lld after the "
            "header: those are analysed.\n",
            static_cast<long long>(data.bytes), static_cast<long long>(available));
        data.bytes = available;
    }
    if (data.bytes > INT32_MAX) {
        return Status::error(
            format("err: the data chunk of %s holds more than %d bytes, the largest recording "
                   "that can be analysed\n",
                   wavPath.c_str(), INT32_MAX));
    }
    return data;
}

}  // namespace sonvola
