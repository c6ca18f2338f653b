#include "frontend/qt/maindialog.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QFileDialog>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <fstream>

#include "frontend/qt/backgrounds.h"

namespace sonvola {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string s(const QString& q) {
    return q.toStdString();
}

}  // namespace

DialogHooks defaultDialogHooks() {
    DialogHooks h;
    h.message = [](QWidget* owner, const QString& caption, const QString& text,
                   QMessageBox::Icon icon) {
        QMessageBox box(icon, caption, text, QMessageBox::Ok, owner);
        box.exec();
    };
    h.askYesNo = [](QWidget* owner, const QString& caption, const QString& text) {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No,
                        owner);
        return box.exec() == QMessageBox::Yes;
    };
    h.openFileName = [](QWidget* owner, const QString& filter, const QString& suffix,
                        const QString& initialName) {
        QFileDialog dialog(owner, QString(), QString(), filter);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setDefaultSuffix(suffix);
        dialog.selectFile(initialName);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
    h.exitProcess = [](int status) { std::exit(status); };
    h.openPlot = [](QWidget*, int) {};
    return h;
}

MainDialog::MainDialog(MediaDevice& device, ProgramStarter& starter, DialogHooks hooks,
                       std::string programDir, std::string workDir, QWidget* parent)
    : QDialog(parent),
      playback_(fields_, device, *this),
      launcher_(fields_, playback_, *this, starter, std::move(programDir), std::move(workDir)),
      hooks_(std::move(hooks)) {
    setWindowTitle(QStringLiteral("Sonvola  ver1.40"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(du(315), du(245));
    picture_ = backgroundPicture(background_);
    build();
    // Dialog initialisation: defaults written into the fields, WAVE selected.
    resetParameters(fields_);
    writeBack();
    static_cast<QRadioButton*>(control(1006))->setChecked(true);
    playback_.m_bDeviceOpen = playback_.m_bPlaying = playback_.m_bPaused = 0;
}

QPushButton* MainDialog::addButton(int id, const QString& text, int x, int y, int w, int h) {
    auto* b = new QPushButton(text, this);
    b->setGeometry(du(x), du(y), du(w), du(h));
    b->setFlat(true);
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setObjectName(QStringLiteral("c%1").arg(id));
    controls_[id] = b;
    return b;
}

QLineEdit* MainDialog::addEdit(int id, int x, int y, int w, int h) {
    auto* e = new QLineEdit(this);
    e->setGeometry(du(x), du(y), du(w), du(h));
    e->setObjectName(QStringLiteral("c%1").arg(id));
    controls_[id] = e;
    return e;
}

void MainDialog::addLabel(const QString& text, int x, int y, int w, int h) {
    auto* l = new QLabel(text, this);
    l->setGeometry(du(x), du(y), du(w), du(h));
}

void MainDialog::addGroup(int x, int y, int w, int h) {
    auto* g = new QGroupBox(this);
    g->setGeometry(du(x), du(y), du(w), du(h));
    g->lower();
}

void MainDialog::build() {
    // Program-wide colours: a light background behind the picture and pure
    // green text on every control but the edits.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(236, 233, 216));
    setPalette(pal);
    setStyleSheet(QStringLiteral(
        "QLabel, QPushButton, QRadioButton { color: rgb(0, 255, 0); background: transparent; }"
        "QPushButton { border: 1px solid rgba(0, 255, 0, 110); }"
        "QPushButton:pressed { background: rgba(0, 0, 0, 70); }"
        "QGroupBox { border: 1px solid rgba(255, 255, 255, 120); margin: 0; }"));

    addEdit(1001, 7, 25, 298, 12);
    addButton(1002, QStringLiteral("ファイルを開く"), 110, 44, 72, 19);
    addButton(1003, QStringLiteral("一時停止"), 40, 44, 32, 19);
    addButton(1004, QStringLiteral("停止"), 73, 44, 32, 19);
    addButton(1005, QStringLiteral("再生"), 7, 44, 32, 19);
    auto* wave = new QRadioButton(QStringLiteral("WAVE"), this);
    wave->setGeometry(du(8), du(70), du(55), du(10));
    auto* midi = new QRadioButton(QStringLiteral("MIDI"), this);
    midi->setGeometry(du(73), du(70), du(56), du(10));
    auto* group = new QButtonGroup(this);
    group->addButton(wave);
    group->addButton(midi);
    controls_[1006] = wave;
    controls_[1007] = midi;
    addButton(1008, QStringLiteral("①音楽音解析"), 195, 50, 104, 20);
    addButton(1009, QStringLiteral("①の結果をプロット"), 195, 160, 104, 15);
    addButton(1011, QStringLiteral("④1～3よりMIDIを生成"), 195, 122, 104, 20);
    addLabel(QStringLiteral("窓関数："), 16, 147, 75, 8);
    addLabel(QStringLiteral("0づめしたフレーム長："), 16, 130, 85, 8);
    addLabel(QStringLiteral("フレーム長："), 16, 114, 75, 8);
    addLabel(QStringLiteral("フレームシフト間隔："), 16, 97, 80, 8);
    addEdit(1024, 106, 97, 68, 12);
    addEdit(1025, 106, 114, 68, 12);
    addEdit(1026, 106, 130, 68, 12);
    addEdit(1027, 106, 147, 68, 12);
    addLabel(QStringLiteral("演奏速度："), 16, 164, 80, 8);
    addLabel(QStringLiteral("最短音価："), 16, 181, 80, 8);
    addEdit(1028, 106, 164, 68, 12);
    addEdit(1029, 106, 181, 68, 12);
    addButton(1014, QStringLiteral("②クラスタリング"), 195, 74, 104, 20);
    addButton(1016, QStringLiteral("②の結果をプロット"), 195, 179, 104, 15);
    addButton(1017, QStringLiteral("③音高認識"), 195, 98, 104, 20);
    addLabel(QStringLiteral("拍子："), 16, 198, 80, 8);
    addEdit(1030, 106, 198, 68, 12);
    addGroup(188, 39, 117, 110);
    addGroup(188, 149, 117, 53);
    addGroup(7, 85, 175, 150);
    addLabel(QStringLiteral("ファイル名："), 9, 12, 49, 8);
    addButton(1010, QStringLiteral("exit"), 273, 213, 26, 15);
    addButton(1012, QStringLiteral("load"), 195, 213, 25, 15);
    addButton(1013, QStringLiteral("reset"), 221, 213, 25, 15);
    addButton(1015, QStringLiteral("chmod"), 247, 213, 25, 15);
    addGroup(188, 202, 117, 33);
    addLabel(QStringLiteral("GM音色番号(1～128)："), 16, 215, 84, 8);
    addEdit(1031, 106, 215, 68, 12);

    auto button = [this](int id) { return static_cast<QPushButton*>(controls_.at(id)); };
    connect(button(1002), &QPushButton::clicked, this, [this] { playback_.OnOpenFile(); });
    connect(button(1005), &QPushButton::clicked, this, [this] { playback_.OnPlay(); });
    connect(button(1004), &QPushButton::clicked, this, [this] { playback_.OnStop(); });
    connect(button(1003), &QPushButton::clicked, this, [this] { playback_.OnPause(); });
    connect(button(1010), &QPushButton::clicked, this, &MainDialog::OnExit);
    connect(button(1012), &QPushButton::clicked, this, &MainDialog::OnLoad);
    connect(button(1013), &QPushButton::clicked, this, &MainDialog::OnReset);
    connect(button(1015), &QPushButton::clicked, this, &MainDialog::OnChmod);
    connect(button(1008), &QPushButton::clicked, this, [this] { launcher_.OnRunSpecScan(); });
    connect(button(1014), &QPushButton::clicked, this, [this] { launcher_.OnRunTrackJoin(); });
    connect(button(1017), &QPushButton::clicked, this, [this] { launcher_.OnRunNoteFind(); });
    connect(button(1011), &QPushButton::clicked, this, [this] { launcher_.OnRunScoreToSmf(); });
    connect(button(1009), &QPushButton::clicked, this, &MainDialog::OnPlotPeaks);
    connect(button(1016), &QPushButton::clicked, this, &MainDialog::OnPlotLinkedPeaks);
    // The radio handlers run after the selection has moved, as on the original platform.
    connect(wave, &QRadioButton::clicked, this, [this] { playback_.OnSelectWave(); });
    connect(midi, &QRadioButton::clicked, this, [this] { playback_.OnSelectMidi(); });
}

QWidget* MainDialog::control(int id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QLineEdit* MainDialog::edit(int id) const {
    return qobject_cast<QLineEdit*>(control(id));
}

MediaKind MainDialog::selectedKind() const {
    return static_cast<QRadioButton*>(control(1006))->isChecked() ? MediaKind::Wave
                                                                  : MediaKind::Midi;
}

void MainDialog::takeOver() {
    fields_.m_strFileName = s(edit(1001)->text());
    fields_.m_strFrameShift = s(edit(1024)->text());
    fields_.m_strFrameLength = s(edit(1025)->text());
    fields_.m_strWindow = s(edit(1027)->text());
    fields_.m_strZeroPadLength = s(edit(1026)->text());
    fields_.m_strTempo = s(edit(1028)->text());
    fields_.m_strShortestNote = s(edit(1029)->text());
    fields_.m_strTimeSignature = s(edit(1030)->text());
    fields_.m_strProgram = s(edit(1031)->text());
}

void MainDialog::writeBack() {
    edit(1001)->setText(q(fields_.m_strFileName));
    edit(1024)->setText(q(fields_.m_strFrameShift));
    edit(1025)->setText(q(fields_.m_strFrameLength));
    edit(1027)->setText(q(fields_.m_strWindow));
    edit(1026)->setText(q(fields_.m_strZeroPadLength));
    edit(1028)->setText(q(fields_.m_strTempo));
    edit(1029)->setText(q(fields_.m_strShortestNote));
    edit(1030)->setText(q(fields_.m_strTimeSignature));
    edit(1031)->setText(q(fields_.m_strProgram));
}

void MainDialog::showMessage(const std::string& text) {
    hooks_.message(nullptr, QString(), q(text), QMessageBox::NoIcon);
}

void MainDialog::showError(const std::string& text) {
    hooks_.message(this, QStringLiteral("エラー"), q(text), QMessageBox::Warning);
}

void MainDialog::endDialog() {
    ended_ = true;
    done(QDialog::Rejected);
}

bool MainDialog::fileReadable(const std::string& path) const {
    std::ifstream f(path);
    return static_cast<bool>(f);
}

std::optional<std::string> MainDialog::chooseFile(MediaKind kind) {
    const bool wave = kind == MediaKind::Wave;
    const QString chosen = hooks_.openFileName(
        this, wave ? QStringLiteral("Waveﾌｧｲﾙ(*.wav)") : QStringLiteral("MIDIﾌｧｲﾙ(*.mid)"),
        wave ? QStringLiteral("wav") : QStringLiteral("MIDI"),
        wave ? QStringLiteral("*.wav") : QStringLiteral("*.mid"));
    if (chosen.isEmpty()) return std::nullopt;
    return s(chosen);
}

void MainDialog::OnLoad() {
    takeOver();
}

void MainDialog::OnReset() {
    resetParameters(fields_);
    writeBack();
}

void MainDialog::OnChmod() {
    background_ = nextBackground(background_);
    picture_ = backgroundPicture(background_);
    update();
}

void MainDialog::OnExit() {
    if (hooks_.askYesNo(this, QStringLiteral("終了"),
                        QStringLiteral("アプリケーションを終了しますか？"))) {
        hooks_.exitProcess(1);
    }
}

void MainDialog::OnPlotPeaks() {
    hooks_.openPlot(this, 1);
}
void MainDialog::OnPlotLinkedPeaks() {
    hooks_.openPlot(this, 2);
}

void MainDialog::raiseWindow() {
    showNormal();
    raise();
    activateWindow();
}

void MainDialog::paintEvent(QPaintEvent*) {
    // The picture's top-left corner at the client area's, unscaled.
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    // Neither Enter nor Escape closes the window.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void MainDialog::closeEvent(QCloseEvent* event) {
    playback_.CloseMediaDevice();
    QDialog::closeEvent(event);
}

}  // namespace sonvola
