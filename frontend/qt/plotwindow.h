// The picture windows: the two peak plots (1: SpecScan.txt, 2: TrackJoin.txt)
// and the piano roll of a score. Each draws as soon as it opens and again on
// every press of a button, reading its file anew, into an image that the
// window shows, so a covered window repaints itself. They are ordinary
// modeless windows: open() shows one and returns at once; several can stay
// open beside the main window (exec() still works, modal as a dialog is).
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>
#include <map>
#include <string>

#include "frontend/core/plot.h"

class QCheckBox;
class QHBoxLayout;
class QLabel;
class QPushButton;

namespace sonvola {

struct PlotHooks {
    // A message without caption about the window's file (the open error).
    // The default shows it modal to `owner` only, without waiting for it.
    std::function<void(QWidget* owner, const QString& text)> message;
    // Where to save the picture, `suggested` as the first offer; empty when cancelled.
    std::function<QString(QWidget* owner, const QString& suggested)> saveFileName;
};

PlotHooks defaultPlotHooks();

// What the two kinds of window have in common: the picture (scrolled only
// when the screen is too small for the whole of it), a row of controls under
// it and "save picture".
class PictureWindow : public QDialog {
    Q_OBJECT
  public:
    const QImage& picture() const { return picture_; }
    // True once a picture has been drawn.
    bool drawn() const { return drawn_; }
    // What the window shows instead of a picture (empty once one is drawn).
    QString notice() const;
    QPushButton* button(const QString& text) const;

  public slots:
    void savePicture();

  protected:
    PictureWindow(PlotHooks hooks, QString saveName, QWidget* parent);
    // Puts `controls` under the picture, next to "save picture", and sizes
    // the window to show everything (or the screen, when that is smaller).
    void finishLayout(QWidget* controls);
    QPushButton* addButton(QHBoxLayout* row, const QString& text);
    void showPicture(const QImage& image);
    void showNotice(const QString& text);

    PlotHooks hooks_;

  private:
    QString saveName_;
    QImage picture_;
    bool drawn_ = false;
    QLabel* area_ = nullptr;
    QWidget* view_ = nullptr;
    std::map<QString, QPushButton*> buttons_;
};

class PlotWindow : public PictureWindow {
    Q_OBJECT
  public:
    // Draws at once when the file can be read; otherwise the window shows
    // missingDataMessage() where the picture goes.
    PlotWindow(PlotKind kind, std::string workDir, PlotHooks hooks, QWidget* parent = nullptr);

    // Empty when the kind's file in `workDir` can be read, else what to tell
    // the user instead of opening the window ("SpecScan.txt がありません。
    // ①音楽音解析を先に実行してください。", likewise ② for TrackJoin.txt).
    static QString missingDataMessage(PlotKind kind, const std::string& workDir);
    static bool dataExists(PlotKind kind, const std::string& workDir) {
        return missingDataMessage(kind, workDir).isEmpty();
    }
    // Opens a window of its own, modeless, deleted when closed (a child of
    // `parent`, so it goes with it), and returns it. When the file cannot be
    // read, says missingDataMessage() through hooks.message instead and
    // returns nullptr.
    static PlotWindow* open(PlotKind kind, const std::string& workDir, PlotHooks hooks,
                            QWidget* parent);

    PlotKind kind() const { return kind_; }
    // The level bands shown (0 to 4), 0 when the window opens.
    int mode() const { return mode_; }

  public slots:
    void redraw();
    void setModeAndDraw(int mode);

  private:
    // Draws; false with what to tell the user when the file cannot be read.
    bool draw(QString& problem);

    PlotKind kind_;
    std::string path_;
    int mode_ = 0;
};

// The notes of a score as a piano roll, optionally over the peaks of
// SpecScan.txt.
class NotesWindow : public PictureWindow {
    Q_OBJECT
  public:
    // `scorePath`: the score to show (the refined one when there is one);
    // `peakPath`: the peak list that "ピークも表示" draws under the notes
    // (empty: none). Draws at once when the score can be read.
    NotesWindow(std::string scorePath, std::string peakPath, PlotHooks hooks,
                QWidget* parent = nullptr);

    // Empty when the score can be read, else what to tell the user instead
    // of opening the window.
    static QString missingDataMessage(const std::string& scorePath);
    static bool dataExists(const std::string& scorePath) {
        return missingDataMessage(scorePath).isEmpty();
    }
    // As PlotWindow::open, with the peaks of `workDir`'s SpecScan.txt on offer.
    static NotesWindow* open(const std::string& scorePath, const std::string& workDir,
                             PlotHooks hooks, QWidget* parent);

    const std::string& scorePath() const { return scorePath_; }
    bool showsPeaks() const;
    QCheckBox* peaksBox() const { return peaks_; }

  public slots:
    void redraw();
    void setShowPeaks(bool show);

  private:
    // Draws; false with what to tell the user when a file cannot be read
    // (without the peaks' file, the notes are drawn all the same).
    bool draw(QString& problem);

    std::string scorePath_;
    std::string peakPath_;
    QCheckBox* peaks_ = nullptr;
};

}  // namespace sonvola
