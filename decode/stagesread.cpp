// Whether the stages read a WAV file as it is, decided from its first bytes.
#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>

#include "common/fileptr.h"
#include "common/wav.h"
#include "decode/decode.h"

namespace sonvola {

namespace {

// The stages read this much of a file for its header.
constexpr size_t kHeaderView = 200;

}  // namespace

bool stagesReadAsIs(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) return false;
    unsigned char b[kHeaderView] = {};
    const size_t n = std::fread(b, 1, sizeof b, f.get());
    if (n < 12 || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "WAVE", 4) != 0) {
        return false;
    }
    if (readLe32(b + 4) == 0)
        return false;  // the stages skip values of 0 when they read the header

    // The chunks as they are laid out, within the header view: one "fmt "
    // with its 16 bytes of fields, then "data".
    const std::optional<WavChunks> found = readWavChunks(f.get(), INT_MAX, static_cast<int64_t>(n));
    if (!found) return false;
    const WavChunks& chunks = *found;
    if (chunks.fmtChunks != 1 || chunks.fmtSize < 16 || !chunks.fmtComplete ||
        chunks.fmtAt + 8 + 16 > static_cast<int64_t>(n) || chunks.dataAt < 0) {
        return false;
    }

    // The stages must find the same two chunks, and only one "fmt ".
    long scanFmt = -1, scanData = -1;
    int fmtSeen = 0;
    for (const StageTagAt& tag : stageHeaderTags(b, n)) {
        if (tag.tag == StageTag::Fmt) {
            if (fmtSeen++ == 0) scanFmt = static_cast<long>(tag.at);
        } else if (tag.tag == StageTag::Data) {
            scanData = static_cast<long>(tag.at);
        }
    }
    if (scanFmt != chunks.fmtAt || scanData != chunks.dataAt || fmtSeen != 1) return false;

    const WavFormat& fmt = chunks.format;
    if (fmt.formatCode != 1) return false;  // 0xFFFE (extensible), float, compressed...
    if (fmt.channels != 1 && fmt.channels != 2) return false;
    if (fmt.bitsPerSample != 8 && fmt.bitsPerSample != 16) return false;
    if (fmt.sampleRate < 11025 || fmt.sampleRate > 768000) return false;
    if (fmt.blockAlign != fmt.channels * fmt.bitsPerSample / 8 ||
        fmt.byteRate != fmt.sampleRate * fmt.blockAlign) {
        return false;
    }

    const uint32_t dataBytes = chunks.dataSize;
    if (dataBytes == 0) return false;
    // More than 2^31 - 1 bytes of samples present is more than the stages take.
    const int64_t present = static_cast<int64_t>(st.st_size) - (chunks.dataAt + 8);
    const int64_t used = present < static_cast<int64_t>(dataBytes) ? present : dataBytes;
    return used > 0 && used <= INT32_MAX;
}

}  // namespace sonvola
