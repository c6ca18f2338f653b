// The peak list readers on any bytes.
#include "common/peakfile.h"
#include "fuzz/fuzz_util.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    fuzz::InputFile file(data, size);
    PeakFileHeader header = readPeakHeader(file.path());
    (void)header;
    std::FILE* f = std::fopen(file.path().c_str(), "rb");
    if (!f) return 0;
    PeakTable table;
    const Status read = readPeakRecords(f, file.path(), table);
    std::fclose(f);
    (void)read.message();
    for (int64_t i = -1; i <= table.size(); ++i) (void)table.count(i);
    return 0;
}
