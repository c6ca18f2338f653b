// The WAV file format, read and written in one place: the chunks of a RIFF
// WAVE file, the stages' own view of its first 200 bytes (the commented
// header dump "Wave_File_Format.txt" and its read-back into the ten
// WaveFmt_Data values), the PCM samples, and the header of the 16-bit files
// the decoder writes.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "common/status.h"

namespace sonvola {

// Little-endian fields.
inline uint32_t readLe16(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}
inline uint32_t readLe32(const unsigned char* p) {
    return readLe16(p) | (readLe16(p + 2) << 16);
}
inline void putLe16(unsigned char* p, uint32_t v) {
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}
inline void putLe32(unsigned char* p, uint32_t v) {
    putLe16(p, v & 0xFFFF);
    putLe16(p + 2, v >> 16);
}

// An 8-bit sample u (unsigned, 128 the middle) as a 16-bit one:
// u * 257 - 32768, so that 0 and 255 reach both ends of the 16-bit range.
constexpr int16_t pcm8To16(uint8_t u) {
    return static_cast<int16_t>(u * 257 - 32768);
}

// The first 16 bytes of a "fmt " chunk.
struct WavFormat {
    uint32_t formatCode = 0;  // 1 linear PCM, 0xFFFE extensible, ...
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t byteRate = 0;
    uint32_t blockAlign = 0;
    uint32_t bitsPerSample = 0;
};

// The chunks of a RIFF WAVE file as they are laid out, up to the first
// "data" chunk. Offsets are those of the chunks' tags.
struct WavChunks {
    int fmtChunks = 0;         // "fmt " chunks met before "data"
    int64_t fmtAt = -1;        // where the last of them starts
    uint32_t fmtSize = 0;      // its size as its header states it
    bool fmtComplete = false;  // its 16 bytes of fields are in the file
    WavFormat format;          // from the last "fmt " whose fields are in the file
    int64_t dataAt = -1;       // where "data" starts; -1 when it was not found
    uint32_t dataSize = 0;     // its size as its header states it
};

// Walks the chunks of `file` from its start (a chunk of odd size is followed
// by a pad byte): at most `maxChunks` of them, and only those whose 8-byte
// header lies within the first `within` bytes. Nothing when the file does not
// begin with "RIFF", a size and "WAVE".
std::optional<WavChunks> readWavChunks(std::FILE* file, int maxChunks = INT_MAX,
                                       int64_t within = INT64_MAX);

// The tags the stages find in the first bytes of a file: they step over the
// RIFF header (8 bytes), "WAVE" (4) and 24 bytes of "fmt ", move on two bytes
// at a time otherwise, and stop at the first "data".
enum class StageTag { Riff, Wave, Fmt, Data };
struct StageTagAt {
    StageTag tag;
    size_t at;
};
std::vector<StageTagAt> stageHeaderTags(const unsigned char* bytes, size_t count);

// The canonical 44-byte header of a 16-bit PCM file: "fmt " of 16 bytes,
// then "data" of `dataBytes`.
inline constexpr size_t kPcm16HeaderBytes = 44;
void writePcm16WavHeader(unsigned char* header, int channels, int sampleRate, uint32_t dataBytes);

// Index names of the ten header values.
enum WaveFmtIndex {
    kRiffSize = 0,
    kFmtSize,
    kFormatCode,
    kChannels,
    kSampleRate,
    kByteRate,
    kBlockSize,
    kBitsPerSample,
    kDataBytes,
    kHeaderBytes,
    kWaveFmtCount
};

using WaveFmt_Data = std::array<int32_t, kWaveFmtCount>;

// Line 4 of the dump: a reference about the WAVE format (it must not start
// with a digit, or the read-back would take it for a value).
inline constexpr const char* kWaveFormatReference = "http://soundfile.sapp.org/doc/WaveFormat/";

// Writes the commented dump of the first 200 bytes of `wavPath` into `dumpPath`
// (replaced whole, or left as it was when it cannot be written). Fails when
// `wavPath` cannot be opened, when the dump cannot be written, and when the
// file does not start with "RIFF" or has no "data" tag in those 200 bytes
// (the dump then keeps what was written up to there).
Status dumpWaveHeader(const std::string& wavPath, const std::string& dumpPath);

// Reads the dump back: every line whose leading integer is not 0 gives the
// next value. Prints the header line on `err` and each value on `out`. Fails
// when the dump cannot be opened or when it holds other than ten values.
Result<WaveFmt_Data> readWaveFmtData(const std::string& dumpPath, std::FILE* out, std::FILE* err);

// The samples of a data chunk in file order: 8-bit ones converted by
// pcm8To16, 16-bit ones little-endian; samples the file lacks read as 0.
class WaveSampleStream {
  public:
    WaveSampleStream() = default;
    ~WaveSampleStream();
    WaveSampleStream(const WaveSampleStream&) = delete;
    WaveSampleStream& operator=(const WaveSampleStream&) = delete;
    // `dataBytes` bytes from `offset`; false when the file cannot be opened.
    bool open(const std::string& path, int64_t dataBytes, int64_t offset, int bits);
    // Up to `max` samples; 0 at the end of the data.
    size_t read(int16_t* out, size_t max);
    int64_t total() const { return total_; }

  private:
    std::FILE* file_ = nullptr;
    int bits_ = 16;
    int64_t total_ = 0, done_ = 0;
    bool fileEnded_ = false;
    std::vector<unsigned char> bytes_;
};

// The samples that the read-back values announce, as far as the file holds them.
struct WaveDataSize {
    int64_t bytes = 0;
    std::string note;  // a line saying that the chunk was cut to the file, else empty
};

// Checks the read-back values before samples are read: 8 or 16 bits, one or
// two channels, a positive byte rate, and a data size that the file holds (a
// larger one is cut to the bytes present, with the note saying so; more than
// 2^31 - 1 bytes are refused).
Result<WaveDataSize> usableWaveData(const WaveFmt_Data& values, const std::string& wavPath,
                                    int64_t fileSize);

}  // namespace sonvola
