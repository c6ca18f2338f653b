// The four stage buttons: their preconditions, the argument texts built from
// the fields, and the start of each console program.
#pragma once

#include <string>
#include <vector>

#include "frontend/core/fields.h"
#include "frontend/core/playback.h"

namespace sonvola {

// Where a list of texts ends: at the first entry that is exactly one blank
// (SpecScan, TrackJoin), or at the first empty entry (NoteFind).
enum class ListEnd { AtBlank, AtEmpty };

// Each text followed by one blank, in order, up to the list's end.
std::string JoinArguments(const std::vector<std::string>& texts, ListEnd end);

// Splits a command line as the original platform does: blanks and tabs
// separate words, double quotes group (a quote inside is written as \"),
// backslashes are literal unless they precede a quote.
std::vector<std::string> splitCommandLine(const std::string& line);

// Starts a console program with its argument words; false when it cannot be
// started.
class ProgramStarter {
  public:
    virtual ~ProgramStarter() = default;
    virtual bool start(const std::string& program, const std::vector<std::string>& words) = 0;
};

// The messages of the stage buttons.
inline constexpr const char* kNoWaveMessage = "解析するための Wave ファイル情報が見当たりません。";
inline constexpr const char* kNoSpecScanMessage = "SpecScan.txt がありません。";
inline constexpr const char* kNoTrackJoinMessage = "TrackJoin.txt がありません。";
inline constexpr const char* kMidiInUseMessage =
    "err: デバイスが MIDI を参照しているため変換できません．";
inline constexpr const char* kStartFailedMessage =
    "何らかの原因で関数が正常に実行できませんでした。";

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

    void OnRunSpecScan();
    void OnRunTrackJoin();
    void OnRunNoteFind();
    void OnRunScoreToSmf();

    // The argument texts as the handlers build them (after a take-over).
    std::string specScanArguments() const;
    std::string trackJoinArguments() const;
    std::string noteFindArguments() const;

  private:
    void launch(const char* program, const std::string& arguments);

    FieldTexts& fields_;
    Playback& playback_;
    PlaybackWindow& window_;
    ProgramStarter& starter_;
    std::string programDir_, workDir_;
};

}  // namespace sonvola
