#include "tools/evaluate.h"

#include <cmath>
#include <fstream>
#include <functional>
#include <sstream>

#include "common/midifile.h"

namespace sonvola {

bool readNotes(const std::string& path, std::vector<EvalNote>& notes, std::string& error) {
    notes.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open " + path;
        return false;
    }
    char magic[4] = {};
    in.read(magic, 4);
    if (in.gcount() == 4 && std::string(magic, 4) == "MThd") {
        MidiFile file;
        if (!parseMidiFile(path, file, error)) {
            error = path + ": " + error;
            return false;
        }
        for (const MidiNote& n : midiNotes(file)) {
            notes.push_back({n.onsetS, n.offsetS >= n.onsetS ? n.offsetS : n.onsetS,
                             static_cast<double>(n.key)});
        }
        return true;
    }
    in.clear();
    in.seekg(0);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        const auto hash = line.find('#');
        if (hash != std::string::npos) line.erase(hash);
        std::istringstream words(line);
        EvalNote n{};
        if (!(words >> n.onset)) {
            if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
            error = path + ":" + std::to_string(number) + ": not \"onset offset pitch\"";
            return false;
        }
        if (!(words >> n.offset >> n.pitch) || !std::isfinite(n.onset) ||
            !std::isfinite(n.offset) || !std::isfinite(n.pitch)) {
            error = path + ":" + std::to_string(number) + ": not \"onset offset pitch\"";
            return false;
        }
        notes.push_back(n);
    }
    return true;
}

int maximumMatching(const std::vector<std::vector<int>>& adjacency, int rightCount) {
    std::vector<int> matchOfRight(static_cast<size_t>(rightCount), -1);
    std::vector<int> seen(static_cast<size_t>(rightCount), -1);
    std::function<bool(int, int)> augment = [&](int left, int round) {
        for (int r : adjacency[static_cast<size_t>(left)]) {
            if (seen[static_cast<size_t>(r)] == round) continue;
            seen[static_cast<size_t>(r)] = round;
            const int other = matchOfRight[static_cast<size_t>(r)];
            if (other < 0 || augment(other, round)) {
                matchOfRight[static_cast<size_t>(r)] = left;
                return true;
            }
        }
        return false;
    };
    int matched = 0;
    for (int left = 0; left < static_cast<int>(adjacency.size()); ++left) {
        if (augment(left, left)) ++matched;
    }
    return matched;
}

EvalScores evaluateNotes(const std::vector<EvalNote>& ref, const std::vector<EvalNote>& est,
                         const EvalTolerances& t) {
    // Distances are rounded to 1e-7 before the comparison, so that a note
    // exactly at the tolerance counts however the times were computed.
    auto within = [](double distance, double tolerance) {
        return std::round(distance * 1e7) / 1e7 <= tolerance;
    };
    std::vector<std::vector<int>> adjacency(ref.size());
    for (size_t i = 0; i < ref.size(); ++i) {
        for (size_t j = 0; j < est.size(); ++j) {
            if (!within(std::fabs(ref[i].onset - est[j].onset), t.onsetS)) continue;
            if (!within(std::fabs(ref[i].pitch - est[j].pitch) * 100.0, t.pitchCents)) continue;
            if (t.offsets) {
                const double tolerance =
                    std::max(t.offsetMinS, t.offsetRatio * (ref[i].offset - ref[i].onset));
                if (!within(std::fabs(ref[i].offset - est[j].offset), tolerance)) continue;
            }
            adjacency[i].push_back(static_cast<int>(j));
        }
    }
    EvalScores s;
    s.reference = static_cast<int>(ref.size());
    s.estimated = static_cast<int>(est.size());
    s.matched = maximumMatching(adjacency, static_cast<int>(est.size()));
    s.precision = est.empty() ? 0.0 : static_cast<double>(s.matched) / s.estimated;
    s.recall = ref.empty() ? 0.0 : static_cast<double>(s.matched) / s.reference;
    s.f1 = s.precision + s.recall > 0.0 ? 2.0 * s.precision * s.recall / (s.precision + s.recall)
                                        : 0.0;
    return s;
}

}  // namespace sonvola
