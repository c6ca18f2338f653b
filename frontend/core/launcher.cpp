#include "frontend/core/launcher.h"

#include <bit>
#include <cstdio>
#include <sstream>

#include "common/numbers.h"
#include "common/peakfile.h"
#include "specscan/spectrum.h"

namespace sonvola {

std::string joinArguments(const std::vector<std::string>& texts, ListEnd end) {
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
    return joinArguments({"\"" + fields_.fileName + "\"", fields_.frameShift, fields_.frameLength,
                          fields_.zeroPadLength, fields_.window, " "},
                         ListEnd::AtBlank);
}

std::string Launcher::trackJoinArguments() const {
    return joinArguments({fields_.tempo, fields_.shortestNote, " "}, ListEnd::AtBlank);
}

std::string Launcher::noteFindArguments() const {
    return joinArguments(
        {fields_.tempo, fields_.shortestNote, fields_.timeSignature, fields_.program, ""},
        ListEnd::AtEmpty);
}

namespace {

std::vector<std::string> wordsOf(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> words;
    for (std::string w; in >> w;) words.push_back(w);
    return words;
}

// The number a field starts with (its unit word follows), read whole.
bool leadingNumber(const std::string& text, double& value) {
    const auto words = wordsOf(text);
    return !words.empty() && parseStrictDouble(words[0], value);
}

bool leadingWhole(const std::string& text, int64_t low, int64_t high, int64_t& value) {
    const auto words = wordsOf(text);
    return !words.empty() && parseStrictInt(words[0], value) && value >= low && value <= high;
}

}  // namespace

Status checkFields(Stage stage, const FieldTexts& f) {
    double number = 0.0;
    int64_t whole = 0;
    auto tempoAndNoteValue = [&]() -> Status {
        if (!leadingWhole(f.tempo, 4, 60000000, whole)) {
            return Status::error(
                uiText(QT_TRANSLATE_NOOP("sonvola",
                                         "演奏速度「%1」: 4 から 60000000 までの整数を入れてく"
                                         "ださい（例: 120 _tempo）。"),
                       {f.tempo}));
        }
        if (!leadingNumber(f.shortestNote, number) || !(number > 0.0)) {
            return Status::error(uiText(
                QT_TRANSLATE_NOOP("sonvola",
                                  "最短音価「%1」: 正の数を入れてください（例: 128 _分音符）。"),
                {f.shortestNote}));
        }
        return {};
    };
    switch (stage) {
        case Stage::SpecScan: {
            if (f.fileName.empty()) {
                return Status::error(uiText(QT_TRANSLATE_NOOP(
                    "sonvola", "ファイル名が空です。ファイルを開くで録音を選んでください。")));
            }
            if (!leadingNumber(f.frameShift, number) || !(number >= 1.0)) {
                return Status::error(
                    uiText(QT_TRANSLATE_NOOP("sonvola",
                                             "フレームシフト間隔「%1」: 1 以上のミリ秒数を入れ"
                                             "てください（例: 10 _msec）。"),
                           {f.frameShift}));
            }
            int64_t frame = 0;
            if (!leadingWhole(f.frameLength, 2, 1048576, frame)) {
                return Status::error(
                    uiText(QT_TRANSLATE_NOOP(
                               "sonvola",
                               "フレーム長「%1」: 2 以上の整数を入れてください（例: 512 _点）。"),
                           {f.frameLength}));
            }
            if (!leadingWhole(f.zeroPadLength, 4, 1048576, whole) ||
                !std::has_single_bit(static_cast<uint64_t>(whole)) || whole < frame) {
                return Status::error(
                    uiText(QT_TRANSLATE_NOOP("sonvola",
                                             "0づめしたフレーム長「%1」: フレーム長以上で、4 "
                                             "から 1048576 までの 2 のべき乗を入れてください（"
                                             "例: 4096 _点）。"),
                           {f.zeroPadLength}));
            }
            const auto window = wordsOf(f.window);
            if (window.size() != 1 || !parseWindowName(window[0])) {
                return Status::error(
                    uiText(QT_TRANSLATE_NOOP("sonvola",
                                             "窓関数「%1」: ブラックマン窓・ハニング窓・ハミング"
                                             "窓・方形窓・三角窓・なし のどれかを入れてください"
                                             "。"),
                           {f.window}));
            }
            return {};
        }
        case Stage::TrackJoin:
            return tempoAndNoteValue();
        case Stage::NoteFind: {
            if (Status tempo = tempoAndNoteValue(); !tempo) return tempo;
            const auto sig = wordsOf(f.timeSignature);
            int64_t num = 0, den = 0;
            if (sig.size() != 3 || sig[1] != "/" || !parseStrictInt(sig[0], num) ||
                !parseStrictInt(sig[2], den) || num < 1 || num > 255 || den < 1 ||
                den > (int64_t{1} << 30) || !std::has_single_bit(static_cast<uint64_t>(den))) {
                return Status::error(
                    uiText(QT_TRANSLATE_NOOP("sonvola",
                                             "拍子「%1」: 「3 / 4」のように、1 から 255 までの"
                                             "分子と 2 のべき乗の分母を入れてください。"),
                           {f.timeSignature}));
            }
            if (!leadingWhole(f.program, 1, 128, whole) || wordsOf(f.program).size() != 1) {
                return Status::error(uiText(
                    QT_TRANSLATE_NOOP("sonvola",
                                      "GM音色番号「%1」: 1 から 128 までの整数を入れてください。"),
                    {f.program}));
            }
            return {};
        }
        case Stage::ScoreToSmf:
            return {};
    }
    return {};
}

std::string noScoreMessage(const std::string& scorePath) {
    return uiText(
        QT_TRANSLATE_NOOP("sonvola",
                          "楽譜ファイル「%1」がありません。先に ③音高認識 を実行してください。"),
        {scorePath});
}

static bool opens(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "r");
    if (!f) return false;
    std::fclose(f);
    return true;
}

StageCommand Launcher::scoreToSmfCommand(const std::string& recording) const {
    const std::string score = "\"" + recording + ".txt\"";
    const std::string midi = "\"" + recording + ".mid\"";
    return {programDir_ + "ScoreToSmf", splitCommandLine(score + " " + midi)};
}

StageCommand Launcher::stageCommand(Stage stage) const {
    switch (stage) {
        case Stage::SpecScan:
            return {programDir_ + "SpecScan", splitCommandLine(specScanArguments())};
        case Stage::TrackJoin:
            return {programDir_ + "TrackJoin", splitCommandLine(trackJoinArguments())};
        case Stage::NoteFind:
            return {programDir_ + "NoteFind", splitCommandLine(noteFindArguments())};
        case Stage::ScoreToSmf:
            break;
    }
    return scoreToSmfCommand(readPeakHeader(workDir_ + "SpecScan.txt").signalName);
}

std::vector<StageCommand> Launcher::allStageCommands() const {
    StageCommand specScan = stageCommand(Stage::SpecScan);
    // SpecScan writes its first word, the recording, as line 3 of SpecScan.txt.
    const std::string recording = specScan.words.empty() ? std::string() : specScan.words.front();
    return {std::move(specScan), stageCommand(Stage::TrackJoin), stageCommand(Stage::NoteFind),
            scoreToSmfCommand(recording)};
}

bool Launcher::recordingOpen() {
    // The stop command doubles as the test that a recording is open.
    return playback_.stopForAnalysis();
}

std::vector<StageCommand> Launcher::runAllCommands() {
    window_.takeOver();
    for (Stage stage : {Stage::SpecScan, Stage::TrackJoin, Stage::NoteFind}) {
        if (const Status fields = checkFields(stage, fields_); !fields) {
            window_.showError(fields.message());
            return {};
        }
    }
    if (!recordingOpen()) {
        window_.showError(uiText(kNoWaveMessage));
        return {};
    }
    return allStageCommands();
}

void Launcher::launch(const StageCommand& command) {
    // The window says the same for every cause, as it always has.
    if (!starter_.start(command.program, command.words)) {
        window_.showError(uiText(kStartFailedMessage));
    }
}

void Launcher::onRunSpecScan() {
    window_.takeOver();
    if (const Status fields = checkFields(Stage::SpecScan, fields_); !fields) {
        window_.showError(fields.message());
        return;
    }
    const StageCommand command = stageCommand(Stage::SpecScan);
    if (!recordingOpen()) {
        window_.showError(uiText(kNoWaveMessage));
        return;
    }
    launch(command);
}

void Launcher::onRunTrackJoin() {
    window_.takeOver();
    if (const Status fields = checkFields(Stage::TrackJoin, fields_); !fields) {
        window_.showError(fields.message());
        return;
    }
    const StageCommand command = stageCommand(Stage::TrackJoin);
    if (!opens(workDir_ + "SpecScan.txt")) {
        window_.showError(uiText(kNoSpecScanMessage));
        return;
    }
    launch(command);
}

void Launcher::onRunNoteFind() {
    window_.takeOver();
    if (const Status fields = checkFields(Stage::NoteFind, fields_); !fields) {
        window_.showError(fields.message());
        return;
    }
    const StageCommand command = stageCommand(Stage::NoteFind);
    if (!opens(workDir_ + "TrackJoin.txt")) {
        window_.showError(uiText(kNoTrackJoinMessage));
        return;
    }
    launch(command);
}

void Launcher::onRunScoreToSmf() {
    if (!opens(workDir_ + "SpecScan.txt")) {
        window_.showError(uiText(kNoSpecScanMessage));
        return;
    }
    const std::string recording = readPeakHeader(workDir_ + "SpecScan.txt").signalName;
    if (fields_.fileName == recording + ".mid") {
        window_.showMessage(uiText(kMidiInUseMessage));
        return;
    }
    if (recording.empty() || !opens(recording + ".txt")) {
        window_.showError(noScoreMessage(recording + ".txt"));
        return;
    }
    launch(scoreToSmfCommand(recording));
}

}  // namespace sonvola
