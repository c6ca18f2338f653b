#include "frontend/qt/plotwindow.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <utility>

#include "frontend/core/launcher.h"
#include "frontend/core/pianoroll.h"
#include "frontend/core/uitext.h"
#include "frontend/qt/imagecanvas.h"

namespace sonvola {

namespace {

const QColor kDialogColour(236, 233, 216);

// The picture in a frame that asks for the whole picture's room, so that the
// window's own size hint leaves no scroll bars.
class PictureView : public QScrollArea {
  public:
    QSize sizeHint() const override {
        const int frame = 2 * frameWidth();
        return QSize(kPlotWidth + frame, kPlotHeight + frame);
    }
};

// Empty when `path` opens for reading, else the system's word for why not.
QString openProblem(const std::string& path) {
    errno = 0;
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f) {
        std::fclose(f);
        return QString();
    }
    return QString::fromLocal8Bit(std::strerror(errno != 0 ? errno : ENOENT));
}

QString openErrorText(const std::string& path, const QString& reason) {
    return QCoreApplication::translate("sonvola", "オープンエラー: %1\n%2")
        .arg(QString::fromStdString(path), reason);
}

}  // namespace

PlotHooks defaultPlotHooks() {
    PlotHooks h;
    h.message = [](QWidget* owner, const QString& text) {
        // A caption of one blank: an empty one would show the program's name.
        auto* box =
            new QMessageBox(QMessageBox::NoIcon, QStringLiteral(" "), text, QMessageBox::Ok, owner);
        box->setAttribute(Qt::WA_DeleteOnClose);
        if (owner) {
            box->open();  // modal to its window only
        } else {
            box->setModal(false);
            box->show();
        }
    };
    h.saveFileName = [](QWidget* owner, const QString& suggested) {
        return QFileDialog::getSaveFileName(owner, QString(), suggested,
                                            QStringLiteral("PNG (*.png)"));
    };
    return h;
}

// --- PictureWindow ---------------------------------------------------------

PictureWindow::PictureWindow(PlotHooks hooks, QString saveName, QWidget* parent)
    : QDialog(parent), hooks_(std::move(hooks)), saveName_(std::move(saveName)) {
    QPalette pal = palette();
    pal.setColor(QPalette::Window, kDialogColour);
    setPalette(pal);
    // The buttons keep the platform's text colour: the program's green on
    // this light background would be unreadable.

    picture_ = QImage(kPlotWidth, kPlotHeight, QImage::Format_RGB32);
    picture_.fill(kDialogColour);
    area_ = new QLabel;
    area_->setFixedSize(kPlotWidth, kPlotHeight);
    area_->setAlignment(Qt::AlignCenter);
    area_->setWordWrap(true);
    area_->setPixmap(QPixmap::fromImage(picture_));
    auto* view = new PictureView;
    view->setWidget(area_);
    view->setFrameShape(QFrame::Box);
    view_ = view;
}

void PictureWindow::finishLayout(QWidget* controls) {
    auto* save = new QPushButton(QStringLiteral("save picture"));
    save->setAutoDefault(false);
    save->setEnabled(drawn_);  // nothing to save before the first picture
    buttons_[save->text()] = save;
    connect(save, &QPushButton::clicked, this, &PictureWindow::savePicture);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(controls);
    bottom->addStretch();
    bottom->addWidget(save);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(view_, 1);
    layout->addLayout(bottom);

    QSize size = sizeHint();
    if (const QScreen* s = screen()) size = size.boundedTo(s->availableGeometry().size());
    resize(size);
}

QPushButton* PictureWindow::addButton(QHBoxLayout* row, const QString& text) {
    auto* b = new QPushButton(text);
    b->setAutoDefault(false);
    row->addWidget(b);
    buttons_[text] = b;
    return b;
}

QString PictureWindow::notice() const {
    return drawn_ ? QString() : area_->text();
}

QPushButton* PictureWindow::button(const QString& text) const {
    auto it = buttons_.find(text);
    return it == buttons_.end() ? nullptr : it->second;
}

void PictureWindow::showPicture(const QImage& image) {
    picture_ = image;
    drawn_ = true;
    area_->setPixmap(QPixmap::fromImage(picture_));
    if (QPushButton* save = button(QStringLiteral("save picture"))) save->setEnabled(true);
}

void PictureWindow::showNotice(const QString& text) {
    area_->setText(text);
}

void PictureWindow::savePicture() {
    const QString path = hooks_.saveFileName(this, saveName_);
    if (path.isEmpty()) return;
    if (const Status written = writePng(picture_, path.toStdString()); !written) {
        hooks_.message(this, QCoreApplication::translate("sonvola", "保存できません: %1\n%2")
                                 .arg(path, QString::fromStdString(written.message())));
    }
}

// --- PlotWindow ------------------------------------------------------------

PlotWindow::PlotWindow(PlotKind kind, std::string workDir, PlotHooks hooks, QWidget* parent)
    : PictureWindow(std::move(hooks), QStringLiteral("plot.png"), parent), kind_(kind) {
    const bool peaks = kind == PlotKind::Peaks;
    path_ = workDir + plotFileName(kind);
    setWindowTitle(peaks ? QCoreApplication::translate(
                               "sonvola", "1. プロット（抽出したスペクトルピークを表示）")
                         : QCoreApplication::translate(
                               "sonvola", "2. プロット（接続したスペクトルピークを表示）"));

    auto* group = new QGroupBox(QStringLiteral("Plot"));
    auto* row = new QHBoxLayout(group);
    connect(addButton(row, QStringLiteral("Re-drawing")), &QPushButton::clicked, this,
            &PlotWindow::redraw);
    for (int m : {4, 3, 2, 1}) {
        connect(addButton(row, QString::number(m)), &QPushButton::clicked, this,
                [this, m] { setModeAndDraw(m); });
    }
    if (!peaks) {
        connect(addButton(row, QStringLiteral("0")), &QPushButton::clicked, this,
                [this] { setModeAndDraw(0); });
    }
    finishLayout(group);

    // At once: a file that cannot be read is said where the picture goes.
    QString problem = missingDataMessage(kind, workDir);
    if (problem.isEmpty()) draw(problem);
    if (!problem.isEmpty()) showNotice(problem);
}

QString PlotWindow::missingDataMessage(PlotKind kind, const std::string& workDir) {
    if (openProblem(workDir + plotFileName(kind)).isEmpty()) return QString();
    // The same words as the stage buttons use.
    return QString::fromStdString(
        uiText(kind == PlotKind::Peaks ? kNoSpecScanMessage : kNoTrackJoinMessage));
}

namespace {

// A window of its own beside its parent, blocking nothing, gone when closed.
void showBeside(QDialog* w) {
    w->setAttribute(Qt::WA_DeleteOnClose);
    w->setModal(false);
    w->show();
    w->raise();
    w->activateWindow();
}

}  // namespace

PlotWindow* PlotWindow::open(PlotKind kind, const std::string& workDir, PlotHooks hooks,
                             QWidget* parent) {
    const QString missing = missingDataMessage(kind, workDir);
    if (!missing.isEmpty()) {
        hooks.message(parent, missing);
        return nullptr;
    }
    auto* w = new PlotWindow(kind, workDir, std::move(hooks), parent);
    showBeside(w);
    return w;
}

bool PlotWindow::draw(QString& problem) {
    ImageCanvas canvas;
    if (const Status drawn = drawPlotFile(path_, kind_, mode_, canvas); !drawn) {
        problem = openErrorText(path_, QString::fromLocal8Bit(drawn.message().c_str()));
        return false;
    }
    showPicture(canvas.image());
    return true;
}

void PlotWindow::redraw() {
    QString problem;
    if (!draw(problem)) hooks_.message(this, problem);
}

void PlotWindow::setModeAndDraw(int mode) {
    mode_ = mode;
    redraw();
}

// --- NotesWindow -----------------------------------------------------------

NotesWindow::NotesWindow(std::string scorePath, std::string peakPath, PlotHooks hooks,
                         QWidget* parent)
    : PictureWindow(std::move(hooks), QStringLiteral("notes.png"), parent),
      scorePath_(std::move(scorePath)),
      peakPath_(std::move(peakPath)) {
    setWindowTitle(
        QCoreApplication::translate("sonvola", "3. ピアノロール（認識した音符を表示） - %1")
            .arg(QFileInfo(QString::fromStdString(scorePath_)).fileName()));
    auto* group = new QGroupBox(QStringLiteral("Notes"));
    auto* row = new QHBoxLayout(group);
    connect(addButton(row, QStringLiteral("Re-drawing")), &QPushButton::clicked, this,
            &NotesWindow::redraw);
    peaks_ = new QCheckBox(QCoreApplication::translate("sonvola", "ピークも表示 (SpecScan.txt)"));
    peaks_->setEnabled(!peakPath_.empty());
    row->addWidget(peaks_);
    connect(peaks_, &QCheckBox::toggled, this, &NotesWindow::setShowPeaks);
    finishLayout(group);

    QString problem = missingDataMessage(scorePath_);
    if (problem.isEmpty()) draw(problem);
    if (!problem.isEmpty()) showNotice(problem);
}

QString NotesWindow::missingDataMessage(const std::string& scorePath) {
    if (openProblem(scorePath).isEmpty()) return QString();
    return QString::fromStdString(noScoreMessage(scorePath));
}

NotesWindow* NotesWindow::open(const std::string& scorePath, const std::string& workDir,
                               PlotHooks hooks, QWidget* parent) {
    const QString missing = missingDataMessage(scorePath);
    if (!missing.isEmpty()) {
        hooks.message(parent, missing);
        return nullptr;
    }
    auto* w = new NotesWindow(scorePath, workDir + "SpecScan.txt", std::move(hooks), parent);
    showBeside(w);
    return w;
}

bool NotesWindow::showsPeaks() const {
    return peaks_->isChecked();
}

void NotesWindow::setShowPeaks(bool show) {
    if (peaks_->isChecked() != show) {
        peaks_->setChecked(show);  // comes back here through toggled()
        return;
    }
    redraw();
}

bool NotesWindow::draw(QString& problem) {
    const Result<RollScore> score = readRollScoreFile(scorePath_);
    if (!score) {
        const std::string& why = score.message();
        problem = score.code<RollScoreError>() != RollScoreError::CannotOpen
                      ? QCoreApplication::translate("sonvola", "楽譜を読めません: %1\n%2")
                            .arg(QString::fromStdString(scorePath_), QString::fromStdString(why))
                      : openErrorText(scorePath_, QString::fromLocal8Bit(why.c_str()));
        return false;
    }
    ImageCanvas canvas;
    std::optional<PeakOverlay> peaks;
    if (showsPeaks()) {
        Result<PeakOverlay> read = readPeakOverlay(peakPath_, rollLayout(*score));
        if (read) {
            peaks = std::move(*read);
        } else {
            // The notes all the same; the peaks' file is said.
            problem = openErrorText(peakPath_, QString::fromLocal8Bit(read.message().c_str()));
            const QSignalBlocker quiet(peaks_);
            peaks_->setChecked(false);
        }
    }
    drawPianoRoll(*score, peaks ? &*peaks : nullptr, canvas);
    showPicture(canvas.image());
    return problem.isEmpty();
}

void NotesWindow::redraw() {
    QString problem;
    if (!draw(problem)) hooks_.message(this, problem);
}

}  // namespace sonvola
