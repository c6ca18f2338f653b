// The four stage buttons: their preconditions, the argument texts built from
// the fields, and the start of each console program.
#pragma once

#include <string>
#include <vector>

#include "common/status.h"
#include "frontend/core/fields.h"
#include "frontend/core/playback.h"
#include "frontend/core/uitext.h"

namespace sonvola {

// Where a list of texts ends: at the first entry that is exactly one blank
// (SpecScan, TrackJoin), or at the first empty entry (NoteFind).
enum class ListEnd { AtBlank, AtEmpty };

// Each text followed by one blank, in order, up to the list's end.
std::string joinArguments(const std::vector<std::string>& texts, ListEnd end);

// Splits a command line into words: blanks and tabs
// separate words, double quotes group (a quote inside is written as \"),
// backslashes are literal unless they precede a quote.
std::vector<std::string> splitCommandLine(const std::string& line);

// Starts a console program with its argument words; fails, naming what could
// not be started, when it cannot be started.
class ProgramStarter {
  public:
    virtual ~ProgramStarter() = default;
    virtual Status start(const std::string& program, const std::vector<std::string>& words) = 0;
};

// One stage to start: the program's path and its argument words.
struct StageCommand {
    std::string program;
    std::vector<std::string> words;
    bool operator==(const StageCommand&) const = default;
};

enum class Stage { SpecScan, TrackJoin, NoteFind, ScoreToSmf };

// The messages of the stage buttons (shown through uiText).
inline constexpr const char* kNoWaveMessage =
    QT_TRANSLATE_NOOP("sonvola", "解析するための Wave ファイル情報が見当たりません。");
inline constexpr const char* kNoSpecScanMessage = QT_TRANSLATE_NOOP(
    "sonvola", "SpecScan.txt がありません。先に ①音楽音解析 を実行してください。");
inline constexpr const char* kNoTrackJoinMessage = QT_TRANSLATE_NOOP(
    "sonvola", "TrackJoin.txt がありません。先に ②クラスタリング を実行してください。");
inline constexpr const char* kMidiInUseMessage =
    QT_TRANSLATE_NOOP("sonvola", "err: デバイスが MIDI を参照しているため変換できません．");
inline constexpr const char* kStartFailedMessage =
    QT_TRANSLATE_NOOP("sonvola", "何らかの原因で関数が正常に実行できませんでした。");

// The fields a stage takes its arguments from, checked: a refusal says what
// is wrong in a sentence that names the field, the text and what it should
// be. The checks are those of the stages, with numbers read whole ("12O" is
// not 120).
Status checkFields(Stage stage, const FieldTexts& fields);

// The message for ScoreToSmf when the score text it would read is missing.
std::string noScoreMessage(const std::string& scorePath);

class Launcher {
  public:
    // `programDir` holds the four programs; `workDir` their fixed-name files.
    Launcher(FieldTexts& fields, Playback& playback, PlaybackWindow& window,
             ProgramStarter& starter, std::string programDir, std::string workDir)
        : fields_(fields),
          playback_(playback),
          window_(window),
          starter_(starter),
          programDir_(std::move(programDir)),
          workDir_(std::move(workDir)) {}

    void onRunSpecScan();
    void onRunTrackJoin();
    void onRunNoteFind();
    void onRunScoreToSmf();

    // The argument texts as the handlers build them (after a take-over).
    std::string specScanArguments() const;
    std::string trackJoinArguments() const;
    std::string noteFindArguments() const;

    // What a stage button starts (after a take-over): ScoreToSmf's files are
    // named after the recording that SpecScan.txt names.
    StageCommand stageCommand(Stage stage) const;

    // The four stages in order, for running them all in one go: as the
    // buttons start them, except that ScoreToSmf's files are named after the
    // recording SpecScan is given now (SpecScan writes that name into
    // SpecScan.txt), not after whatever an earlier run left there.
    std::vector<StageCommand> allStageCommands() const;

    // The only precondition of running all stages, the one SpecScan's button
    // checks: a recording is open (its device answers the stop command).
    bool recordingOpen();

    // The run-all action up to the start: takes the fields over, checks that
    // a recording is open (with SpecScan's error box when not) and returns
    // allStageCommands(); empty when the check fails.
    std::vector<StageCommand> runAllCommands();

    const std::string& workDir() const { return workDir_; }

  private:
    StageCommand scoreToSmfCommand(const std::string& recording) const;
    void launch(const StageCommand& command);

    FieldTexts& fields_;
    Playback& playback_;
    PlaybackWindow& window_;
    ProgramStarter& starter_;
    std::string programDir_, workDir_;
};

}  // namespace sonvola
