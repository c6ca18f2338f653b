#include "tools/evaluate.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string_view>

#include "common/midifile.h"
#include "common/numbers.h"

namespace sonvola {

namespace {

// A token for a message: quoted, unprintable bytes as \xNN, long ones cut.
std::string quoted(std::string_view token) {
    std::string s = "\"";
    const size_t shown = std::min<size_t>(token.size(), 40);
    for (size_t i = 0; i < shown; ++i) {
        const auto c = static_cast<unsigned char>(token[i]);
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            s += hex;
        } else {
            s += static_cast<char>(c);
        }
    }
    if (shown < token.size()) s += "...";
    return s + "\"";
}

// The whole token is a decimal number ("12", "-0.5", "1e-3", "+.5"), finite;
// no hexadecimal, no "nan" or "inf", nothing after the digits. A refusal
// says what is wrong ("is not a number").
Result<double> strictNumber(std::string_view token) {
    double value = 0.0;
    switch (readStrictDouble(token, value)) {
        case NumberProblem::None:
            return value;
        case NumberProblem::NotANumber:
            return Status::error("is not a number");
        case NumberProblem::OutOfRange:
            return Status::error("is out of range");
        case NumberProblem::NotFinite:
            return Status::error("is not a finite number");
    }
    return Status::error("is not a number");
}

Result<std::vector<EvalNote>> readText(const std::string& path, std::string_view text) {
    std::vector<EvalNote> notes;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // UTF-8 byte-order mark
    int number = 0;
    while (!text.empty()) {
        ++number;
        const size_t newline = text.find('\n');
        std::string_view line = text.substr(0, newline);
        text.remove_prefix(newline == std::string_view::npos ? text.size() : newline + 1);
        const size_t hash = line.find('#');
        if (hash != std::string_view::npos) line = line.substr(0, hash);
        std::vector<std::string_view> words;
        const std::string_view blanks = " \t\r\v\f";
        for (size_t at = line.find_first_not_of(blanks); at != std::string_view::npos;) {
            const size_t after = std::min(line.find_first_of(blanks, at), line.size());
            words.push_back(line.substr(at, after - at));
            at = line.find_first_not_of(blanks, after);
        }
        if (words.empty()) continue;
        const std::string where = path + ":" + std::to_string(number) + ": ";
        if (words.size() < 3) {
            return Status::error(where + "not \"onset offset pitch\"");
        }
        // Columns after the third are the writer's business (names, velocities).
        static const char* const kColumns[] = {"onset", "offset", "pitch"};
        double values[3];
        for (int i = 0; i < 3; ++i) {
            const Result<double> value = strictNumber(words[i]);
            if (!value) {
                return Status::error(where + kColumns[i] + " " + quoted(words[i]) + " " +
                                     value.message());
            }
            values[i] = *value;
        }
        const EvalNote n{values[0], values[1], values[2]};
        if (n.onset < 0.0) {
            return Status::error(where + "onset " + std::string(words[0]) + " is negative");
        }
        if (n.offset < n.onset) {
            return Status::error(where + "offset " + std::string(words[1]) + " is before onset " +
                                 std::string(words[0]));
        }
        if (n.pitch < 0.0 || n.pitch > 127.0) {
            return Status::error(where + "pitch " + std::string(words[2]) +
                                 " is outside the MIDI keys 0..127");
        }
        notes.push_back(n);
    }
    return notes;
}

Result<std::vector<EvalNote>> readMidi(const std::string& path, const std::string& bytes) {
    Result<MidiFile> parsed = parseMidi(std::vector<uint8_t>(bytes.begin(), bytes.end()));
    Status whole = parsed ? midiTracksComplete(*parsed) : parsed.status();
    if (!whole) return Status::error(path + ": " + whole.message());
    const MidiFile& file = *parsed;
    if (file.division == 0) {
        return Status::error(path + ": the header gives 0 ticks per quarter note");
    }
    if (file.division & 0x8000) {
        return Status::error(path + ": SMPTE time division (frames per second) is not supported");
    }
    std::vector<EvalNote> notes;
    for (const MidiNote& n : midiNotes(file)) {
        // A note never switched off ends where it starts.
        notes.push_back(
            {n.onsetS, n.offsetS >= n.onsetS ? n.offsetS : n.onsetS, static_cast<double>(n.key)});
    }
    return notes;
}

}  // namespace

Result<std::vector<EvalNote>> readNotes(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return Status::error(path + " is a folder");
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return Status::error("cannot open " + path);
    }
    std::string bytes;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        bytes.append(buffer, static_cast<size_t>(in.gcount()));
    }
    if (in.bad()) {
        return Status::error("cannot read " + path);
    }
    // A file of no bytes at all is far more often a failed write than an
    // empty transcription; an empty list says so with a comment line.
    if (bytes.empty()) {
        return Status::error(path + ": empty file");
    }
    // "MThd", or the start of it: a MIDI file, however short.
    return std::string_view("MThd").starts_with(std::string_view(bytes).substr(0, 4))
               ? readMidi(path, bytes)
               : readText(path, bytes);
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
