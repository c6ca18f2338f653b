// sonvola-refine with the peak and track lists: the input holds the peak
// list, the track list and the score text, each ending at a line "%%".
#include <memory>
#include <string>

#include "fuzz/fuzz_util.h"
#include "tools/evidence.h"
#include "tools/refine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string parts[3];
    size_t at = 0;
    for (int i = 0; i < 3; ++i) {
        const size_t end = i < 2 ? input.find("\n%%\n", at) : std::string::npos;
        parts[i] = input.substr(at, end == std::string::npos ? std::string::npos : end - at + 1);
        if (end == std::string::npos) break;
        at = end + 4;
    }
    fuzz::InputFile peaks(reinterpret_cast<const uint8_t*>(parts[0].data()), parts[0].size());
    fuzz::InputFile tracks(reinterpret_cast<const uint8_t*>(parts[1].data()), parts[1].size());
    const auto evidence = loadSpectralEvidence(peaks.path(), tracks.path());
    if (!evidence) return 0;
    const Result<RefineScore> score = readRefineScore(parts[2]);
    if (!score) return 0;
    if (score->notes.size() > 2000) return 0;  // the rules compare pairs; keep runs short
    RefineOptions options;
    options.evidence = evidence->get();
    writeRefineScore(refineScore(*score, options));
    return 0;
}
