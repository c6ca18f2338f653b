#include "frontend/qt/plotwindow.h"

#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "frontend/qt/imagecanvas.h"

namespace sonvola {

namespace {
// The mode of each window kind: 0 whenever a window of that kind is made.
int g_plotMode[3] = {0, 0, 0};
}  // namespace

PlotHooks defaultPlotHooks() {
    PlotHooks h;
    h.message = [](const QString& text) {
        QMessageBox box(QMessageBox::NoIcon, QString(), text, QMessageBox::Ok);
        box.exec();
    };
    h.saveFileName = [](QWidget* owner) {
        return QFileDialog::getSaveFileName(owner, QString(), QStringLiteral("plot.png"),
                                            QStringLiteral("PNG (*.png)"));
    };
    return h;
}

PlotWindow::PlotWindow(PlotKind kind, std::string workDir, PlotHooks hooks, QWidget* parent)
    : QDialog(parent), kind_(kind), hooks_(std::move(hooks)) {
    const bool peaks = kind == PlotKind::Peaks;
    path_ = workDir + (peaks ? "SpecScan.txt" : "TrackJoin.txt");
    g_plotMode[static_cast<int>(kind)] = 0;
    setWindowTitle(peaks ? QStringLiteral("1. プロット（抽出したスペクトルピークを表示）")
                         : QStringLiteral("2. プロット（接続したスペクトルピークを表示）"));
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(236, 233, 216));
    setPalette(pal);
    setStyleSheet(QStringLiteral("QPushButton, QGroupBox { color: rgb(0, 255, 0); }"));

    // Nothing is drawn until a button is pressed.
    picture_ = QImage(kPlotWidth, kPlotHeight, QImage::Format_RGB32);
    picture_.fill(QColor(236, 233, 216));
    area_ = new QLabel;
    area_->setPixmap(QPixmap::fromImage(picture_));
    auto* scroll = new QScrollArea;
    scroll->setWidget(area_);
    scroll->setFrameShape(QFrame::Box);

    auto* group = new QGroupBox(QStringLiteral("Plot"));
    auto* row = new QHBoxLayout(group);
    auto add = [&](const QString& text) {
        auto* b = new QPushButton(text);
        b->setAutoDefault(false);
        row->addWidget(b);
        buttons_[text] = b;
        return b;
    };
    connect(add(QStringLiteral("Re-drawing")), &QPushButton::clicked, this, &PlotWindow::redraw);
    for (int m : {4, 3, 2, 1}) {
        connect(add(QString::number(m)), &QPushButton::clicked, this,
                [this, m] { setModeAndDraw(m); });
    }
    if (!peaks)
        connect(add(QStringLiteral("0")), &QPushButton::clicked, this,
                [this] { setModeAndDraw(0); });
    auto* save = new QPushButton(QStringLiteral("save picture"));
    save->setAutoDefault(false);
    buttons_[save->text()] = save;
    connect(save, &QPushButton::clicked, this, &PlotWindow::savePicture);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(group);
    bottom->addStretch();
    bottom->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(scroll, 1);
    layout->addLayout(bottom);
    resize(kPlotWidth + 40, kPlotHeight + 90);
}

int PlotWindow::mode() const {
    return g_plotMode[static_cast<int>(kind_)];
}

QPushButton* PlotWindow::button(const QString& text) const {
    auto it = buttons_.find(text);
    return it == buttons_.end() ? nullptr : it->second;
}

void PlotWindow::redraw() {
    ImageCanvas canvas;
    if (!drawPlotFile(path_, kind_, mode(), canvas)) {
        hooks_.message(QStringLiteral("オープンエラー: %1").arg(QString::fromStdString(path_)));
        return;
    }
    picture_ = canvas.image();
    area_->setPixmap(QPixmap::fromImage(picture_));
    area_->adjustSize();
}

void PlotWindow::setModeAndDraw(int mode) {
    g_plotMode[static_cast<int>(kind_)] = mode;
    redraw();
}

void PlotWindow::savePicture() {
    const QString path = hooks_.saveFileName(this);
    if (path.isEmpty()) return;
    std::string error;
    if (!writePng(picture_, path.toStdString(), error)) {
        hooks_.message(
            QStringLiteral("保存できません: %1\n%2").arg(path, QString::fromStdString(error)));
    }
}

}  // namespace sonvola
