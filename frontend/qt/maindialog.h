// The main window: file, playback buttons, the WAVE/MIDI choice, the eight
// analysis parameters, the four stage buttons, the two plot buttons and
// load / reset / chmod / exit.
#pragma once

#include <QDialog>
#include <QImage>
#include <QMessageBox>
#include <functional>
#include <map>

#include "frontend/core/fields.h"
#include "frontend/core/launcher.h"
#include "frontend/core/playback.h"

class QLabel;
class QLineEdit;
class QRadioButton;
class QPushButton;
class QTimer;
class QAction;

namespace sonvola {

class StageChain;

// Everything the window does that would block a test or end the process
// goes through these, so tests replace them.
struct DialogHooks {
    // A message box with an OK button; owner null means ownerless.
    std::function<void(QWidget* owner, const QString& caption, const QString& text,
                       QMessageBox::Icon icon)>
        message;
    // A yes/no question; true for yes.
    std::function<bool(QWidget* owner, const QString& caption, const QString& text)> askYesNo;
    // The file-open dialog: filter, default suffix, initial name; empty when cancelled.
    std::function<QString(QWidget* owner, const QString& filter, const QString& suffix,
                          const QString& initialName)>
        openFileName;
    std::function<void(int status)> exitProcess;
    // Opens plot window 1 (peaks) or 2 (linked peaks), without blocking.
    std::function<void(QWidget* owner, int which)> openPlot;
    // Opens the piano roll of a score text, without blocking.
    std::function<void(QWidget* owner, const std::string& scorePath)> openNotes;
};

DialogHooks defaultDialogHooks();

// The caption of the window's message boxes: one that shows nothing (an
// empty caption would let the window manager show the program's name).
QString blankCaption();

// The window's controls.
enum class Control {
    Frame,  // the black frame around the client area
    FileName,
    OpenFile,
    Play,
    Pause,
    Stop,
    Wave,
    Midi,
    FrameShift,
    FrameLength,
    ZeroPadLength,
    Window,
    Tempo,
    ShortestNote,
    TimeSignature,
    Program,
    RunSpecScan,
    RunTrackJoin,
    RunNoteFind,
    RunScoreToSmf,
    PlotPeaks,
    PlotLinkedPeaks,
    Load,
    Reset,
    Chmod,
    Exit,
};

// The control's object name ("fileName", "openFile", ...).
QString controlName(Control id);

// Dialog units to pixels.
inline int du(double units) {
    return static_cast<int>(units * 1.5 + 0.5);
}

class MainDialog : public QDialog, public PlaybackWindow {
    Q_OBJECT
  public:
    // `programDir` holds the stage programs, `workDir` their fixed-name files.
    MainDialog(MediaDevice& device, ProgramStarter& starter, DialogHooks hooks,
               std::string programDir, std::string workDir, QWidget* parent = nullptr);

    // The control of the given id, for tests and the stages.
    QWidget* control(Control id) const;
    QLineEdit* edit(Control id) const;
    const FieldTexts& fields() const { return fields_; }
    Playback& playback() { return playback_; }
    Launcher& launcher() { return launcher_; }
    int backgroundIndex() const { return background_; }
    const QImage& backgroundImage() const { return picture_; }

    // PlaybackWindow
    MediaKind selectedKind() const override;
    void takeOver() override;
    void writeBack() override;
    void showMessage(const std::string& text) override;
    void showError(const std::string& text) override;
    void endDialog() override;
    bool fileReadable(const std::string& path) const override;
    std::optional<std::string> chooseFile(MediaKind kind) override;

    // The playback position as the window shows it ("0:12 / 1:05").
    QString positionText() const;
    // Opens a dropped or given recording (or MIDI file) as the open button does.
    void openPath(const QString& path);

    // Runs the four stages one after another (Ctrl+R), each in its own
    // console that answers RETURN by itself.
    void runAllStages();
    StageChain& stageChain() { return *chain_; }
    QAction* runAllAction() const { return runAll_; }
    // Shows the notes of the current score as a piano roll (Ctrl+P): the
    // score of the recording SpecScan.txt names, else of the opened file.
    void showNotes();
    std::string currentScorePath() const;
    QAction* notesAction() const { return notes_; }

  public slots:
    void onLoad();
    void onReset();
    void onChmod();
    void onExit();
    void onPlotPeaks();
    void onPlotLinkedPeaks();
    void raiseWindow();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void build();
    QPushButton* addButton(Control id, const QString& text, int x, int y, int w, int h);
    QLineEdit* addEdit(Control id, int x, int y, int w, int h);
    void addLabel(const QString& text, int x, int y, int w, int h);
    void addGroup(int x, int y, int w, int h);
    void setTabOrderAsLaidOut();
    void updatePosition();
    // The file the stages and playback use for a chosen recording: itself
    // when the stages read it as it is, else its decoded copy in the work
    // folder; nothing (after saying why) when it cannot be decoded.
    std::optional<std::string> recordingForStages(const QString& path);

    FieldTexts fields_;
    Playback playback_;
    Launcher launcher_;
    DialogHooks hooks_;
    std::map<Control, QWidget*> controls_;
    MediaDevice& device_;
    QLabel* position_ = nullptr;
    StageChain* chain_ = nullptr;
    QAction* runAll_ = nullptr;
    QAction* notes_ = nullptr;
    QTimer* positionTimer_ = nullptr;
    int background_ = 0;
    QImage picture_;
    bool ended_ = false;
};

// Shows the main window without blocking any other window of the program
// (the plot windows and message boxes stay usable beside it) and runs the
// program's event loop until the window has ended. Returns the exit status.
int runMainWindow(MainDialog& dialog);

}  // namespace sonvola
