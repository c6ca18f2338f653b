// Small peak tables and peak files written out in the tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "common/peakfile.h"

namespace sonvola::test {

// One record of a peak table as a test writes it: its label and its pairs.
struct RecordRows {
    int32_t label;
    std::vector<std::pair<float, float>> pairs;  // (frequency, level)
};

inline PeakTable makeTable(const std::vector<RecordRows>& specs) {
    PeakTable t;
    for (const auto& s : specs) {
        PeakRecord r;
        r.label = s.label;
        for (auto [f, l] : s.pairs) {
            r.freqs.push_back(f);
            r.levels.push_back(l);
        }
        t.records.push_back(std::move(r));
    }
    return t;
}

// The text of a peak file with the rewritten line 1.
inline std::string peakFileText(float maxdB, float mindB, int frameRate, int loopCount,
                                const std::string& name, const std::vector<RecordRows>& specs) {
    char line[128];
    std::snprintf(line, sizeof line, "MaxdB: %0.2f MindB: %0.2f  \nFrameRate: %d LoopCount: %d\n",
                  maxdB, mindB, frameRate, loopCount);
    std::string text = line + name + "\n" + std::string(177, '-') + "\n";
    for (const auto& s : specs) {
        text += std::to_string(s.label) + ": ";
        for (auto [f, l] : s.pairs) {
            std::snprintf(line, sizeof line, "%0.2f %0.2f ", f, l);
            text += line;
        }
        text += "end\n";
    }
    return text + "end_of_file";
}

}  // namespace sonvola::test
