#include "frontend/qt/maindialog.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPainter>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <fstream>

#include "common/peakfile.h"
#include "decode/decode.h"
#include "frontend/qt/backgrounds.h"
#include "frontend/qt/consolewindow.h"
#include "frontend/qt/stagechain.h"
#include "sonvola/version.h"

namespace sonvola {

namespace {

QString q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string s(const QString& q) {
    return q.toStdString();
}

// Marks a control as one of the window's own: only those take the window's
// colours, so that message boxes, the file dialog and the plot windows keep
// the platform's readable ones.
void markOwn(QWidget* w) {
    w->setProperty("sonvolaMain", true);
}

// The window's colours: pure green text over the picture, a green frame
// around the flat buttons and a clear focus frame. Selectors name only the
// window's own controls.
const char* kMainStyle =
    "QLabel[sonvolaMain=\"true\"], QPushButton[sonvolaMain=\"true\"],"
    "QRadioButton[sonvolaMain=\"true\"] { color: rgb(0, 255, 0); background: transparent; }"
    "QPushButton[sonvolaMain=\"true\"] { border: 1px solid rgba(0, 255, 0, 110); padding: 0px; }"
    "QPushButton[sonvolaMain=\"true\"]:pressed { background: rgba(0, 0, 0, 70); }"
    "QPushButton[sonvolaMain=\"true\"]:focus { border: 2px solid rgb(255, 255, 0); }"
    "QRadioButton[sonvolaMain=\"true\"]::indicator { width: 9px; height: 9px;"
    "  border: 1px solid rgb(0, 255, 0); border-radius: 5px; background: rgba(0, 0, 0, 90); }"
    "QRadioButton[sonvolaMain=\"true\"]::indicator:checked {"
    "  background: qradialgradient(cx: 0.5, cy: 0.5, radius: 0.5, fx: 0.5, fy: 0.5,"
    "  stop: 0 rgb(0, 255, 0), stop: 0.55 rgb(0, 255, 0), stop: 0.6 rgba(0, 0, 0, 90)); }"
    "QRadioButton[sonvolaMain=\"true\"]:focus { border: 1px solid rgb(255, 255, 0); }"
    "QGroupBox[sonvolaMain=\"true\"] { border: 1px solid rgba(255, 255, 255, 120); margin: 0; }"
    "QFrame#frame1034 { border: 1px solid black; background: transparent; }";

}  // namespace

QString blankCaption() {
    return QStringLiteral(" ");
}

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
      hooks_(std::move(hooks)),
      device_(device) {
    setWindowTitle(QStringLiteral("Sonvola  ver" SONVOLA_VERSION));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setFixedSize(du(315), du(245));
    setModal(false);
    setAcceptDrops(true);
    setWindowIcon(sonvolaIcon());
    picture_ = backgroundPicture(background_, devicePixelRatioF());
    build();
    setTabOrderAsLaidOut();
    positionTimer_ = new QTimer(this);
    positionTimer_->setInterval(200);
    connect(positionTimer_, &QTimer::timeout, this, &MainDialog::updatePosition);
    positionTimer_->start();
    // More than the buttons: the window's context menu and its shortcuts.
    chain_ = new StageChain(defaultConsoleProgram(), this);
    runAll_ = new QAction(tr("①～④をまとめて実行"), this);
    runAll_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    runAll_->setShortcutContext(Qt::WindowShortcut);
    connect(runAll_, &QAction::triggered, this, &MainDialog::runAllStages);
    addAction(runAll_);
    notes_ = new QAction(tr("ピアノロールを表示"), this);
    notes_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    notes_->setShortcutContext(Qt::WindowShortcut);
    connect(notes_, &QAction::triggered, this, &MainDialog::showNotes);
    addAction(notes_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
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
    markOwn(b);
    b->installEventFilter(this);
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
    // At its place, and tall enough for the font's descenders (the labels
    // are transparent, so a taller one covers nothing).
    l->setGeometry(du(x), du(y), du(w), std::max(du(h), l->fontMetrics().height()));
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    markOwn(l);
}

void MainDialog::addGroup(int x, int y, int w, int h) {
    auto* g = new QGroupBox(this);
    g->setGeometry(du(x), du(y), du(w), du(h));
    markOwn(g);
    g->lower();
}

void MainDialog::build() {
    // A light background behind the picture, the window's colours on its own
    // controls, and a dialog font of 8 points in which every text fits its
    // control.
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(236, 233, 216));
    setPalette(pal);
    QFont small(QStringLiteral("Noto Sans CJK JP"));
    small.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic")});
    small.setPointSize(8);
    setFont(small);
    setStyleSheet(QString::fromLatin1(kMainStyle));
    // The static black frame around the whole client area.
    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("frame1034"));
    frame->setGeometry(0, 0, du(315), du(245));
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    controls_[1034] = frame;

    addEdit(1001, 7, 25, 298, 12);
    addButton(1002, tr("ファイルを開く"), 110, 44, 72, 19);
    addButton(1003, tr("一時停止"), 40, 44, 32, 19);
    addButton(1004, tr("停止"), 73, 44, 32, 19);
    addButton(1005, tr("再生"), 7, 44, 32, 19);
    auto* wave = new QRadioButton(QStringLiteral("WAVE"), this);
    wave->setGeometry(du(8), du(70), du(55), du(10));
    auto* midi = new QRadioButton(QStringLiteral("MIDI"), this);
    midi->setGeometry(du(73), du(70), du(56), du(10));
    markOwn(wave);
    markOwn(midi);
    // Where playback stands, beside the WAVE/MIDI choice.
    position_ = new QLabel(this);
    position_->setGeometry(du(130), du(70), du(52), du(10));
    position_->setObjectName(QStringLiteral("position"));
    position_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    markOwn(position_);
    auto* group = new QButtonGroup(this);
    group->addButton(wave);
    group->addButton(midi);
    controls_[1006] = wave;
    controls_[1007] = midi;
    addButton(1008, tr("①音楽音解析"), 195, 50, 104, 20);
    addButton(1009, tr("①の結果をプロット"), 195, 160, 104, 15);
    addButton(1011, tr("④1～3よりMIDIを生成"), 195, 122, 104, 20);
    addLabel(tr("窓関数："), 16, 147, 75, 8);
    addLabel(tr("0づめしたフレーム長："), 16, 130, 85, 8);
    addLabel(tr("フレーム長："), 16, 114, 75, 8);
    addLabel(tr("フレームシフト間隔："), 16, 97, 80, 8);
    addEdit(1024, 106, 97, 68, 12);
    addEdit(1025, 106, 114, 68, 12);
    addEdit(1026, 106, 130, 68, 12);
    addEdit(1027, 106, 147, 68, 12);
    addLabel(tr("演奏速度："), 16, 164, 80, 8);
    addLabel(tr("最短音価："), 16, 181, 80, 8);
    addEdit(1028, 106, 164, 68, 12);
    addEdit(1029, 106, 181, 68, 12);
    addButton(1014, tr("②クラスタリング"), 195, 74, 104, 20);
    addButton(1016, tr("②の結果をプロット"), 195, 179, 104, 15);
    addButton(1017, tr("③音高認識"), 195, 98, 104, 20);
    addLabel(tr("拍子："), 16, 198, 80, 8);
    addEdit(1030, 106, 198, 68, 12);
    addGroup(188, 39, 117, 110);
    addGroup(188, 149, 117, 53);
    addGroup(7, 85, 175, 150);
    addLabel(tr("ファイル名："), 9, 12, 49, 8);
    addButton(1010, QStringLiteral("exit"), 273, 213, 26, 15);
    addButton(1012, QStringLiteral("load"), 195, 213, 25, 15);
    addButton(1013, QStringLiteral("reset"), 221, 213, 25, 15);
    addButton(1015, QStringLiteral("chmod"), 247, 213, 25, 15);
    addGroup(188, 202, 117, 33);
    addLabel(tr("GM音色番号(1～128)："), 16, 215, 84, 8);
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
    // The radio handlers run after the selection has moved.
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
    hooks_.message(nullptr, blankCaption(), q(text), QMessageBox::NoIcon);
}

void MainDialog::showError(const std::string& text) {
    hooks_.message(this, tr("エラー"), q(text), QMessageBox::Warning);
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
        this,
        wave ? tr("音声ファイル(*.wav *.flac *.mp3 *.m4a *.aac *.ogg *.oga *.opus *.aif *.aiff "
                  "*.caf *.mp4 *.mkv *.webm *.mov);;すべてのファイル(*)")
             : tr("MIDIファイル(*.mid)"),
        wave ? QStringLiteral("wav") : QStringLiteral("MIDI"),
        wave ? QStringLiteral("*.wav") : QStringLiteral("*.mid"));
    if (chosen.isEmpty()) return std::nullopt;
    if (!wave) return s(chosen);
    return recordingForStages(chosen);
}

std::optional<std::string> MainDialog::recordingForStages(const QString& path) {
    const std::string original = s(path);
    // What is not a file is left to the device, which says why it cannot open it.
    if (!QFileInfo(path).isFile() || stagesReadAsIs(original)) return original;
    // Anything else is decoded into the work folder under its own name; the
    // stages, playback and the MIDI file then work on that copy.
    const std::string copy = launcher_.workDir() + QFileInfo(path).fileName().toStdString();
    if (copy == original) return original;  // already the copy
    QProgressDialog progress(tr("「%1」を変換しています…").arg(QFileInfo(path).fileName()),
                             QString(), 0, 100, this);
    progress.setWindowTitle(blankCaption());
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(300);
    DecodeReport report;
    std::string error;
    const bool ok = decodeToWav(original, copy, report, error, [&](double share) {
        progress.setValue(static_cast<int>(share * 100.0));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    progress.reset();
    if (!ok) {
        showError(tr("「%1」を録音として読めません。").arg(path).toStdString() + "\n" + error);
        return std::nullopt;
    }
    return copy;
}

void MainDialog::runAllStages() {
    if (chain_->isRunning()) {
        showError(tr("①～④の実行中です。終わってからもう一度どうぞ。").toStdString());
        return;
    }
    const std::vector<StageCommand> commands = launcher_.runAllCommands();
    if (!commands.empty()) chain_->start(commands);
}

std::string MainDialog::currentScorePath() const {
    std::string recording = readPeakHeader(launcher_.workDir() + "SpecScan.txt").signalName;
    if (recording.empty()) recording = fields_.m_strFileName;
    if (recording.empty()) return std::string();
    return recording + ".txt";
}

void MainDialog::showNotes() {
    if (hooks_.openNotes) hooks_.openNotes(this, currentScorePath());
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
    picture_ = backgroundPicture(background_, devicePixelRatioF());
    update();
}

void MainDialog::OnExit() {
    if (hooks_.askYesNo(this, tr("終了"), tr("アプリケーションを終了しますか？"))) {
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
    // The picture's top-left corner at the client area's, unscaled, drawn
    // anew for the screen's pixel ratio when the window moves to another.
    if (picture_.devicePixelRatio() != devicePixelRatioF()) {
        picture_ = backgroundPicture(background_, devicePixelRatioF());
    }
    QPainter p(this);
    p.drawImage(0, 0, picture_);
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    // Neither Enter nor Escape closes the window.
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            event->accept();
            return;
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            QDialog::keyPressEvent(event);
    }
}

void MainDialog::closeEvent(QCloseEvent* event) {
    // The title bar's close button asks as the exit button does (a window
    // that has already ended, closed as the program quits, does not ask).
    if (!isVisible()) ended_ = true;
    if (!ended_ && !hooks_.askYesNo(this, tr("終了"), tr("アプリケーションを終了しますか？"))) {
        event->ignore();
        return;
    }
    playback_.CloseMediaDevice();
    QDialog::closeEvent(event);
    if (!ended_) {
        ended_ = true;
        hooks_.exitProcess(1);
    }
}

bool MainDialog::eventFilter(QObject* watched, QEvent* event) {
    // Return or Enter on a focused button presses it, as Space does.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        auto* b = qobject_cast<QPushButton*>(watched);
        if (b && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
            b->animateClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void MainDialog::dragEnterEvent(QDragEnterEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.first().isLocalFile()) event->acceptProposedAction();
}

void MainDialog::dropEvent(QDropEvent* event) {
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile()) return;
    event->acceptProposedAction();
    openPath(urls.first().toLocalFile());
}

void MainDialog::openPath(const QString& path) {
    // A MIDI file selects MIDI, anything else WAVE (decoded first when the
    // stages cannot read it as it is); then as the open button.
    const bool midi = path.endsWith(QStringLiteral(".mid"), Qt::CaseInsensitive) ||
                      path.endsWith(QStringLiteral(".midi"), Qt::CaseInsensitive);
    std::optional<std::string> file = s(path);
    if (!midi && QFileInfo(path).isFile()) file = recordingForStages(path);
    if (!file) return;
    static_cast<QRadioButton*>(control(midi ? 1007 : 1006))->setChecked(true);
    takeOver();
    fields_.m_strFileName = *file;
    writeBack();
    playback_.CloseMediaDevice();
    playback_.OpenMediaDevice();
}

void MainDialog::setTabOrderAsLaidOut() {
    // File, open, play, pause, stop, WAVE/MIDI, the eight fields top to
    // bottom, (1) to (4), the plots, load, reset, chmod, exit.
    const int order[] = {1001, 1002, 1005, 1003, 1004, 1006, 1007, 1024, 1025,
                         1026, 1027, 1028, 1029, 1030, 1031, 1008, 1014, 1017,
                         1011, 1009, 1016, 1012, 1013, 1015, 1010};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(control(order[i]), control(order[i + 1]));
    }
    for (int id : order) control(id)->setFocusPolicy(Qt::StrongFocus);
}

QString MainDialog::positionText() const {
    auto clock = [](int64_t ms) {
        const int64_t s = ms / 1000;
        return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    };
    if (playback_.m_bDeviceOpen != 1) return QString();
    const int64_t at = device_.positionMs();
    const int64_t length = device_.durationMs();
    if (at < 0) return QString();
    const QString state = playback_.m_bPlaying != 1       ? QStringLiteral("■")
                          : playback_.m_bPaused == 1      ? QStringLiteral("❚❚")
                          : (length >= 0 && at >= length) ? QStringLiteral("■")
                                                          : QStringLiteral("▶");
    return state + QLatin1Char(' ') + clock(at) +
           (length >= 0 ? QStringLiteral(" / ") + clock(length) : QString());
}

void MainDialog::updatePosition() {
    const QString text = positionText();
    if (position_->text() != text) position_->setText(text);
}

int runMainWindow(MainDialog& dialog) {
    dialog.setModal(false);
    QObject::connect(&dialog, &QDialog::finished, qApp, [] { QApplication::quit(); });
    dialog.show();
    return QApplication::exec();
}

}  // namespace sonvola
