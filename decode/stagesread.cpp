// Whether the stages read a WAV file as it is, decided from its first bytes.
#include <sys/stat.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "common/fileptr.h"
#include "decode/decode.h"

namespace sonvola {

namespace {

// The stages read this much of a file for its header.
constexpr size_t kHeaderView = 200;

uint32_t le16(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8);
}
uint32_t le32(const unsigned char* p) {
    return le16(p) | (le16(p + 2) << 16);
}

// Where the stages' scan of the header view finds the "fmt " and "data"
// tags: it steps over the RIFF header, "WAVE" and 24 bytes of "fmt ", and
// otherwise moves on two bytes at a time. -1 for a tag not found; `fmtSeen`
// counts the "fmt " tags met on the way.
void stageScan(const unsigned char* b, size_t n, long& fmtAt, long& dataAt, int& fmtSeen) {
    fmtAt = dataAt = -1;
    fmtSeen = 0;
    size_t p = 0;
    while (p + 4 <= n) {
        const unsigned char* t = b + p;
        if (std::memcmp(t, "data", 4) == 0) {
            dataAt = static_cast<long>(p);
            return;
        } else if (std::memcmp(t, "RIFF", 4) == 0) {
            p += 8;
        } else if (std::memcmp(t, "WAVE", 4) == 0) {
            p += 4;
        } else if (std::memcmp(t, "fmt ", 4) == 0) {
            fmtAt = static_cast<long>(p);
            ++fmtSeen;
            p += 24;
        } else {
            p += 2;
        }
    }
}

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
    if (le32(b + 4) == 0) return false;  // the stages skip values of 0 when they read the header

    // The chunks as they are laid out.
    long fmtAt = -1, dataAt = -1;
    size_t p = 12;
    while (p + 8 <= n) {
        const uint32_t size = le32(b + p + 4);
        if (std::memcmp(b + p, "fmt ", 4) == 0) {
            if (fmtAt >= 0 || size < 16 || p + 8 + 16 > n) return false;
            fmtAt = static_cast<long>(p);
        } else if (std::memcmp(b + p, "data", 4) == 0) {
            dataAt = static_cast<long>(p);
            break;
        }
        p += 8 + static_cast<size_t>(size) + (size & 1);
    }
    if (fmtAt < 0 || dataAt < 0 || dataAt < fmtAt) return false;

    // The stages must find the same two chunks, and only one "fmt ".
    long scanFmt = -1, scanData = -1;
    int fmtSeen = 0;
    stageScan(b, n, scanFmt, scanData, fmtSeen);
    if (scanFmt != fmtAt || scanData != dataAt || fmtSeen != 1) return false;

    const unsigned char* fmt = b + fmtAt + 8;
    const uint32_t formatCode = le16(fmt);
    const uint32_t channels = le16(fmt + 2);
    const uint32_t rate = le32(fmt + 4);
    const uint32_t byteRate = le32(fmt + 8);
    const uint32_t block = le16(fmt + 12);
    const uint32_t bits = le16(fmt + 14);
    if (formatCode != 1) return false;  // 0xFFFE (extensible), float, compressed...
    if (channels != 1 && channels != 2) return false;
    if (bits != 8 && bits != 16) return false;
    if (rate < 11025 || rate > 768000) return false;
    if (block != channels * bits / 8 || byteRate != rate * block) return false;

    const uint32_t dataBytes = le32(b + dataAt + 4);
    if (dataBytes == 0) return false;
    // More than 2^31 - 1 bytes of samples present is more than the stages take.
    const int64_t present = static_cast<int64_t>(st.st_size) - (dataAt + 8);
    const int64_t used = present < static_cast<int64_t>(dataBytes) ? present : dataBytes;
    return used > 0 && used <= INT32_MAX;
}

}  // namespace sonvola
