// The decoder on any bytes: it decodes them or refuses them with a reason,
// and a WAV file it writes is well formed and one the stages read.
#include <unistd.h>

#include <fstream>
#include <iterator>

#include "decode/decode.h"
#include "fuzz/fuzz_util.h"

namespace {

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

uint32_t le(const std::string& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = v << 8 | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
    }
    return v;
}

// The canonical 16-bit header, with sizes that agree with the file and the report.
bool wellFormed(const std::string& b, const sonvola::DecodeReport& report) {
    if (b.size() < 44 || b.compare(0, 4, "RIFF") != 0 || b.compare(8, 8, "WAVEfmt ") != 0 ||
        b.compare(36, 4, "data") != 0) {
        return false;
    }
    const uint32_t channels = le(b, 22, 2), rate = le(b, 24, 4);
    return le(b, 4, 4) == b.size() - 8 && le(b, 16, 4) == 16 && le(b, 20, 2) == 1 &&
           (channels == 1 || channels == 2) && rate >= 11025 && rate <= 768000 &&
           le(b, 28, 4) == rate * channels * 2 && le(b, 32, 2) == channels * 2 &&
           le(b, 34, 2) == 16 && le(b, 40, 4) == b.size() - 44 &&
           static_cast<int64_t>(b.size() - 44) == report.framesOut * 2 * channels &&
           report.framesOut > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    fuzz::InputFile input(data, size);
    const std::string out = input.path() + ".wav";
    const Result<DecodeReport> decoded = decodeToWav(input.path(), out);
    const Result<AudioInfo> probed = probeAudio(input.path());
    (void)stagesReadAsIs(input.path());
    if (decoded) {
        const std::string written = readAll(out);
        // Whatever was decoded could also be described.
        if (!wellFormed(written, *decoded) || !stagesReadAsIs(out) || !probed) __builtin_trap();
    } else {
        // A refusal gives a reason that names the file, and writes nothing.
        if (decoded.message().find(input.path()) == std::string::npos ||
            access(out.c_str(), F_OK) == 0) {
            __builtin_trap();
        }
    }
    unlink(out.c_str());
    return 0;
}
