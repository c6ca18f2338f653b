// TrackJoin's passes on a fuzzed peak list: reading, linking, the amendment
// pass and the weak-lump filter.
#include "common/peakfile.h"
#include "fuzz/fuzz_util.h"
#include "trackjoin/linking.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    fuzz::PeakInput input;
    if (!fuzz::readPeakInput(data, size, input)) return 0;
    const PeakFileHeader& h = input.header;
    PeakTable& table = input.table;
    PeakTable lumps = table;
    linkPeaks(table, h.frameRate, h.loopCount, fuzz::sink(), fuzz::sink());
    // The same records taken as lumps, as the amendment pass reads them back.
    for (int32_t shortest : {15, 250, 2147483647}) {
        PeakTable t = lumps;
        amendLumps(t, h.frameRate, shortest, fuzz::sink());
    }
    amendLumps(lumps, h.frameRate, shortestPeakMs(120, 128), fuzz::sink());
    writeStrongLumps(lumps, h.maxdB, h.mindB, fuzz::sink());
    return 0;
}
