// sonvola-refine on a fuzzed score text: reading, the rules, writing.
#include <string>

#include "tools/refine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    RefineScore score;
    std::string error;
    if (!readRefineScore(std::string(reinterpret_cast<const char*>(data), size), score, error))
        return 0;
    if (score.notes.size() > 2000) return 0;  // the rules compare every pair; keep runs short
    writeRefineScore(refineScore(score, RefineOptions{}));
    return 0;
}
