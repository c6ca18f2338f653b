// The WAV header dump, its read-back and the sample reader on any bytes.
#include <unistd.h>

#include <algorithm>

#include "common/wav.h"
#include "fuzz/fuzz_util.h"
#include "specscan/reference/wavsamples.h"
#include "specscan/stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    fuzz::InputFile wav(data, size);
    const std::string dump = wav.path() + ".dump";
    if (dumpWaveHeader(wav.path(), dump).ok()) {
        const Result<WaveFmt_Data> values = readWaveFmtData(dump, fuzz::sink(), fuzz::sink());
        if (values) {
            const Result<WaveDataSize> usable =
                usableWaveData(*values, wav.path(), static_cast<int64_t>(size));
            if (usable) {
                const int64_t dataBytes = usable->bytes;
                std::vector<int16_t> samples;
                std::string console;
                readWaveSamples(wav.path(), dataBytes, (*values)[kHeaderBytes],
                                (*values)[kBitsPerSample], samples, console);
                // The block-wise reader must give the same samples.
                WaveSampleStream stream;
                if (stream.open(wav.path(), dataBytes, (*values)[kHeaderBytes],
                                (*values)[kBitsPerSample])) {
                    std::vector<int16_t> blockwise(samples.size() + 1);
                    size_t got = 0, n;
                    while (got < blockwise.size() &&
                           (n = stream.read(blockwise.data() + got,
                                            std::min<size_t>(3, blockwise.size() - got))) > 0) {
                        got += n;
                    }
                    if (got != samples.size() ||
                        !std::equal(samples.begin(), samples.end(), blockwise.begin())) {
                        __builtin_trap();
                    }
                }
            }
        }
    }
    unlink(dump.c_str());
    return 0;
}
