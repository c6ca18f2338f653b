// ScoreToSmf on a fuzzed score text.
#include <string_view>
#include <vector>

#include "scoretosmf/smf.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> midi;
    (void)sonvola::convertScoreToSmf(std::string_view(reinterpret_cast<const char*>(data), size),
                                     midi);
    return 0;
}
