#include "frontend/core/launcher.h"

#include <cstdio>

#include "common/peakfile.h"

namespace sonvola {

std::string JoinArguments(const std::vector<std::string>& texts, ListEnd end) {
    std::string out;
    for (const std::string& t : texts) {
        if (end == ListEnd::AtBlank ? t == " " : t.empty()) break;
        out += t;
        out += ' ';
    }
    return out;
}

std::vector<std::string> splitCommandLine(const std::string& line) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false, quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '\\') {
            size_t n = 0;
            while (i < line.size() && line[i] == '\\') {
                ++n;
                ++i;
            }
            if (i < line.size() && line[i] == '"') {
                word.append(n / 2, '\\');
                if (n % 2) {
                    word += '"';  // an escaped quote
                } else {
                    quoted = !quoted;
                }
            } else {
                word.append(n, '\\');
                --i;
            }
            inWord = true;
        } else if (c == '"') {
            quoted = !quoted;
            inWord = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return words;
}

std::string Launcher::specScanArguments() const {
    return JoinArguments(
        {"\"" + fields_.m_strFileName + "\"", fields_.m_strFrameShift, fields_.m_strFrameLength,
         fields_.m_strZeroPadLength, fields_.m_strWindow, " "},
        ListEnd::AtBlank);
}

std::string Launcher::trackJoinArguments() const {
    return JoinArguments({fields_.m_strTempo, fields_.m_strShortestNote, " "}, ListEnd::AtBlank);
}

std::string Launcher::noteFindArguments() const {
    return JoinArguments({fields_.m_strTempo, fields_.m_strShortestNote, fields_.m_strTimeSignature,
                          fields_.m_strProgram, ""},
                         ListEnd::AtEmpty);
}

void Launcher::launch(const char* program, const std::string& arguments) {
    if (!starter_.start(programDir_ + program, splitCommandLine(arguments))) {
        window_.showError(kStartFailedMessage);
    }
}

static bool opens(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    std::fclose(f);
    return true;
}

void Launcher::OnRunSpecScan() {
    window_.takeOver();
    const std::string arguments = specScanArguments();
    // The stop command doubles as the test that a recording is open.
    if (!playback_.stopForAnalysis()) {
        window_.showError(kNoWaveMessage);
        return;
    }
    launch("SpecScan", arguments);
}

void Launcher::OnRunTrackJoin() {
    window_.takeOver();
    const std::string arguments = trackJoinArguments();
    if (!opens(workDir_ + "SpecScan.txt")) {
        window_.showError(kNoSpecScanMessage);
        return;
    }
    launch("TrackJoin", arguments);
}

void Launcher::OnRunNoteFind() {
    window_.takeOver();
    const std::string arguments = noteFindArguments();
    if (!opens(workDir_ + "TrackJoin.txt")) {
        window_.showError(kNoTrackJoinMessage);
        return;
    }
    launch("NoteFind", arguments);
}

void Launcher::OnRunScoreToSmf() {
    const std::string recording = readPeakHeader(workDir_ + "SpecScan.txt").signalName;
    const std::string score = "\"" + recording + ".txt\"";
    const std::string midi = "\"" + recording + ".mid\"";
    if ("\"" + fields_.m_strFileName + "\"" == midi) {
        window_.showMessage(kMidiInUseMessage);
        return;
    }
    launch("ScoreToSmf", score + " " + midi);
}

}  // namespace sonvola
