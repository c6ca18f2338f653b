// The two peak plot windows (1: SpecScan.txt, 2: TrackJoin.txt).
#pragma once

#include <QDialog>
#include <QImage>

namespace sonvola {

class PlotWindow : public QDialog {
    Q_OBJECT
  public:
    PlotWindow(int which, QWidget* parent = nullptr);
    int which() const { return which_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    int which_;
    QImage picture_;
};

}  // namespace sonvola
