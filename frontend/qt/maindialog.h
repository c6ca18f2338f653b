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

class QLineEdit;
class QRadioButton;
class QPushButton;

namespace sonvola {

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
    // Opens plot window 1 (peaks) or 2 (linked peaks), modal.
    std::function<void(QWidget* owner, int which)> openPlot;
};

DialogHooks defaultDialogHooks();

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

    // The control of the given id (1001, 1002, ...), for tests and the stages.
    QWidget* control(int id) const;
    QLineEdit* edit(int id) const;
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

  public slots:
    void OnLoad();
    void OnReset();
    void OnChmod();
    void OnExit();
    void OnPlotPeaks();
    void OnPlotLinkedPeaks();
    void raiseWindow();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    void build();
    QPushButton* addButton(int id, const QString& text, int x, int y, int w, int h);
    QLineEdit* addEdit(int id, int x, int y, int w, int h);
    void addLabel(const QString& text, int x, int y, int w, int h);
    void addGroup(int x, int y, int w, int h);

    FieldTexts fields_;
    Playback playback_;
    Launcher launcher_;
    DialogHooks hooks_;
    std::map<int, QWidget*> controls_;
    int background_ = 0;
    QImage picture_;
    bool ended_ = false;
};

}  // namespace sonvola
