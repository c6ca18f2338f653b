// sonvola-refine on a fuzzed score text: reading, the rules, writing.
#include <string>

#include "tools/refine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    const Result<RefineScore> score =
        readRefineScore(std::string(reinterpret_cast<const char*>(data), size));
    if (!score) return 0;
    if (score->notes.size() > 2000) return 0;  // the rules compare every pair; keep runs short
    writeRefineScore(refineScore(*score, RefineOptions{}));
    return 0;
}
