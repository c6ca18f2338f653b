#include "frontend/qt/plotwindow.h"

#include <QPainter>

#include "frontend/qt/maindialog.h"

namespace sonvola {

PlotWindow::PlotWindow(int which, QWidget* parent) : QDialog(parent), which_(which) {
    setWindowTitle(which == 1 ? QStringLiteral("1. プロット（抽出したスペクトルピークを表示）")
                              : QStringLiteral("2. プロット（接続したスペクトルピークを表示）"));
    resize(du(634), du(475));
    picture_ = QImage(1100, 640, QImage::Format_RGB32);
    picture_.fill(Qt::white);
}

void PlotWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QColor(236, 233, 216));
    p.drawImage(du(1), du(1), picture_);
}

}  // namespace sonvola
