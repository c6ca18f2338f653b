#include "specscan/reference/wavsamples.h"

#include <cstdio>

#include "common/fileptr.h"
#include "specscan/stepmessages.h"

namespace sonvola {

bool readWaveSamples(const std::string& wavPath, int64_t count, int64_t offset, int bits,
                     std::vector<int16_t>& samples, std::string& console) {
    samples.clear();
    FilePtr f(std::fopen(wavPath.c_str(), "rb"));
    if (!f) return false;
    if (count < 0) count = 0;
    if (std::fseek(f.get(), static_cast<long>(offset), SEEK_SET) != 0) count = 0;
    if (bits == 8) {
        samples.assign(static_cast<size_t>(count), 0);
        std::vector<unsigned char> bytes(static_cast<size_t>(count), 0);
        size_t got = std::fread(bytes.data(), 1, bytes.size(), f.get());
        for (size_t i = 0; i < got; ++i) samples[i] = static_cast<int16_t>(bytes[i] * 257 - 32768);
        // Bytes the file lacks stay 0, like the samples that follow them.
        console += kEightBitMessage;
    } else if (bits == 16) {
        size_t n = static_cast<size_t>(count * 8 / 16);
        samples.assign(n, 0);
        std::vector<unsigned char> bytes(n * 2, 0);
        size_t got = std::fread(bytes.data(), 1, bytes.size(), f.get());
        for (size_t i = 0; 2 * i + 1 < got; ++i) {
            samples[i] =
                static_cast<int16_t>(static_cast<uint16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8)));
        }
    } else {
        return true;
    }
    int mini = 32767, maxi = -32768;
    for (int16_t s : samples) {
        if (s < mini) mini = s;
        if (s > maxi) maxi = s;
    }
    console += amplitudeMessage(mini, maxi);
    return true;
}

}  // namespace sonvola
