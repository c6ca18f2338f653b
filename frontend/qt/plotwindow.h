// The two peak plot windows (1: SpecScan.txt, 2: TrackJoin.txt). Each press
// of a button reads the file again and draws the whole picture into an image
// that the window shows, so a covered window repaints itself.
#pragma once

#include <QDialog>
#include <QImage>
#include <functional>
#include <map>
#include <string>

#include "frontend/core/plot.h"

class QLabel;
class QPushButton;

namespace sonvola {

struct PlotHooks {
    // The ownerless message without caption ("オープンエラー: %s").
    std::function<void(const QString& text)> message;
    // Where to save the picture; empty when cancelled.
    std::function<QString(QWidget* owner)> saveFileName;
};

PlotHooks defaultPlotHooks();

class PlotWindow : public QDialog {
    Q_OBJECT
  public:
    PlotWindow(PlotKind kind, std::string workDir, PlotHooks hooks, QWidget* parent = nullptr);

    PlotKind kind() const { return kind_; }
    int mode() const;
    const QImage& picture() const { return picture_; }
    QPushButton* button(const QString& text) const;

  public slots:
    void redraw();
    void setModeAndDraw(int mode);
    void savePicture();

  private:
    PlotKind kind_;
    std::string path_;
    PlotHooks hooks_;
    QImage picture_;
    QLabel* area_;
    std::map<QString, QPushButton*> buttons_;
};

}  // namespace sonvola
