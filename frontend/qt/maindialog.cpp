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
    "QFrame#frame { border: 1px solid black; background: transparent; }";

}  // namespace

QString controlName(Control id) {
    static const char* const kNames[] = {"frame",         "fileName",
                                         "openFile",      "play",
                                         "pause",         "stop",
                                         "wave",          "midi",
                                         "frameShift",    "frameLength",
                                         "zeroPadLength", "window",
                                         "tempo",         "shortestNote",
                                         "timeSignature", "program",
                                         "runSpecScan",   "runTrackJoin",
                                         "runNoteFind",   "runScoreToSmf",
                                         "plotPeaks",     "plotLinkedPeaks",
                                         "load",          "reset",
                                         "chmod",         "exit"};
    static_assert(std::size(kNames) == static_cast<size_t>(Control::Exit) + 1);
    return QString::fromLatin1(kNames[static_cast<size_t>(id)]);
}

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
    static_cast<QRadioButton*>(control(Control::Wave))->setChecked(true);
}

QPushButton* MainDialog::addButton(Control id, const QString& text, int x, int y, int w, int h) {
    auto* b = new QPushButton(text, this);
    b->setGeometry(du(x), du(y), du(w), du(h));
    b->setFlat(true);
    b->setAutoDefault(false);
    b->setDefault(false);
    b->setObjectName(controlName(id));
    markOwn(b);
    b->installEventFilter(this);
    controls_[id] = b;
    return b;
}

QLineEdit* MainDialog::addEdit(Control id, int x, int y, int w, int h) {
    auto* e = new QLineEdit(this);
    e->setGeometry(du(x), du(y), du(w), du(h));
    e->setObjectName(controlName(id));
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
    frame->setObjectName(controlName(Control::Frame));
    frame->setGeometry(0, 0, du(315), du(245));
    frame->setAttribute(Qt::WA_TransparentForMouseEvents);
    controls_[Control::Frame] = frame;

    addEdit(Control::FileName, 7, 25, 298, 12);
    addButton(Control::OpenFile, tr("ファイルを開く"), 110, 44, 72, 19);
    addButton(Control::Pause, tr("一時停止"), 40, 44, 32, 19);
    addButton(Control::Stop, tr("停止"), 73, 44, 32, 19);
    addButton(Control::Play, tr("再生"), 7, 44, 32, 19);
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
    controls_[Control::Wave] = wave;
    controls_[Control::Midi] = midi;
    addButton(Control::RunSpecScan, tr("①音楽音解析"), 195, 50, 104, 20);
    addButton(Control::PlotPeaks, tr("①の結果をプロット"), 195, 160, 104, 15);
    addButton(Control::RunScoreToSmf, tr("④1～3よりMIDIを生成"), 195, 122, 104, 20);
    addLabel(tr("窓関数："), 16, 147, 75, 8);
    addLabel(tr("0づめしたフレーム長："), 16, 130, 85, 8);
    addLabel(tr("フレーム長："), 16, 114, 75, 8);
    addLabel(tr("フレームシフト間隔："), 16, 97, 80, 8);
    addEdit(Control::FrameShift, 106, 97, 68, 12);
    addEdit(Control::FrameLength, 106, 114, 68, 12);
    addEdit(Control::ZeroPadLength, 106, 130, 68, 12);
    addEdit(Control::Window, 106, 147, 68, 12);
    addLabel(tr("演奏速度："), 16, 164, 80, 8);
    addLabel(tr("最短音価："), 16, 181, 80, 8);
    addEdit(Control::Tempo, 106, 164, 68, 12);
    addEdit(Control::ShortestNote, 106, 181, 68, 12);
    addButton(Control::RunTrackJoin, tr("②クラスタリング"), 195, 74, 104, 20);
    addButton(Control::PlotLinkedPeaks, tr("②の結果をプロット"), 195, 179, 104, 15);
    addButton(Control::RunNoteFind, tr("③音高認識"), 195, 98, 104, 20);
    addLabel(tr("拍子："), 16, 198, 80, 8);
    addEdit(Control::TimeSignature, 106, 198, 68, 12);
    addGroup(188, 39, 117, 110);
    addGroup(188, 149, 117, 53);
    addGroup(7, 85, 175, 150);
    addLabel(tr("ファイル名："), 9, 12, 49, 8);
    addButton(Control::Exit, QStringLiteral("exit"), 273, 213, 26, 15);
    addButton(Control::Load, QStringLiteral("load"), 195, 213, 25, 15);
    addButton(Control::Reset, QStringLiteral("reset"), 221, 213, 25, 15);
    addButton(Control::Chmod, QStringLiteral("chmod"), 247, 213, 25, 15);
    addGroup(188, 202, 117, 33);
    addLabel(tr("GM音色番号(1～128)："), 16, 215, 84, 8);
    addEdit(Control::Program, 106, 215, 68, 12);

    auto button = [this](Control id) { return static_cast<QPushButton*>(controls_.at(id)); };
    connect(button(Control::OpenFile), &QPushButton::clicked, this,
            [this] { playback_.onOpenFile(); });
    connect(button(Control::Play), &QPushButton::clicked, this, [this] { playback_.onPlay(); });
    connect(button(Control::Stop), &QPushButton::clicked, this, [this] { playback_.onStop(); });
    connect(button(Control::Pause), &QPushButton::clicked, this, [this] { playback_.onPause(); });
    connect(button(Control::Exit), &QPushButton::clicked, this, &MainDialog::onExit);
    connect(button(Control::Load), &QPushButton::clicked, this, &MainDialog::onLoad);
    connect(button(Control::Reset), &QPushButton::clicked, this, &MainDialog::onReset);
    connect(button(Control::Chmod), &QPushButton::clicked, this, &MainDialog::onChmod);
    connect(button(Control::RunSpecScan), &QPushButton::clicked, this,
            [this] { launcher_.onRunSpecScan(); });
    connect(button(Control::RunTrackJoin), &QPushButton::clicked, this,
            [this] { launcher_.onRunTrackJoin(); });
    connect(button(Control::RunNoteFind), &QPushButton::clicked, this,
            [this] { launcher_.onRunNoteFind(); });
    connect(button(Control::RunScoreToSmf), &QPushButton::clicked, this,
            [this] { launcher_.onRunScoreToSmf(); });
    connect(button(Control::PlotPeaks), &QPushButton::clicked, this, &MainDialog::onPlotPeaks);
    connect(button(Control::PlotLinkedPeaks), &QPushButton::clicked, this,
            &MainDialog::onPlotLinkedPeaks);
    // The radio handlers run after the selection has moved.
    connect(wave, &QRadioButton::clicked, this, [this] { playback_.onSelectWave(); });
    connect(midi, &QRadioButton::clicked, this, [this] { playback_.onSelectMidi(); });
}

QWidget* MainDialog::control(Control id) const {
    auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

QLineEdit* MainDialog::edit(Control id) const {
    return qobject_cast<QLineEdit*>(control(id));
}

MediaKind MainDialog::selectedKind() const {
    return static_cast<QRadioButton*>(control(Control::Wave))->isChecked() ? MediaKind::Wave
                                                                           : MediaKind::Midi;
}

void MainDialog::takeOver() {
    fields_.fileName = s(edit(Control::FileName)->text());
    fields_.frameShift = s(edit(Control::FrameShift)->text());
    fields_.frameLength = s(edit(Control::FrameLength)->text());
    fields_.window = s(edit(Control::Window)->text());
    fields_.zeroPadLength = s(edit(Control::ZeroPadLength)->text());
    fields_.tempo = s(edit(Control::Tempo)->text());
    fields_.shortestNote = s(edit(Control::ShortestNote)->text());
    fields_.timeSignature = s(edit(Control::TimeSignature)->text());
    fields_.program = s(edit(Control::Program)->text());
}

void MainDialog::writeBack() {
    edit(Control::FileName)->setText(q(fields_.fileName));
    edit(Control::FrameShift)->setText(q(fields_.frameShift));
    edit(Control::FrameLength)->setText(q(fields_.frameLength));
    edit(Control::Window)->setText(q(fields_.window));
    edit(Control::ZeroPadLength)->setText(q(fields_.zeroPadLength));
    edit(Control::Tempo)->setText(q(fields_.tempo));
    edit(Control::ShortestNote)->setText(q(fields_.shortestNote));
    edit(Control::TimeSignature)->setText(q(fields_.timeSignature));
    edit(Control::Program)->setText(q(fields_.program));
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
    const Result<DecodeReport> decoded = decodeToWav(original, copy, [&](double share) {
        progress.setValue(static_cast<int>(share * 100.0));
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    });
    progress.reset();
    if (!decoded) {
        showError(tr("「%1」を録音として読めません。").arg(path).toStdString() + "\n" +
                  decoded.message());
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
    if (recording.empty()) recording = fields_.fileName;
    if (recording.empty()) return std::string();
    return recording + ".txt";
}

void MainDialog::showNotes() {
    if (hooks_.openNotes) hooks_.openNotes(this, currentScorePath());
}

void MainDialog::onLoad() {
    takeOver();
}

void MainDialog::onReset() {
    resetParameters(fields_);
    writeBack();
}

void MainDialog::onChmod() {
    background_ = nextBackground(background_);
    picture_ = backgroundPicture(background_, devicePixelRatioF());
    update();
}

void MainDialog::onExit() {
    if (hooks_.askYesNo(this, tr("終了"), tr("アプリケーションを終了しますか？"))) {
        hooks_.exitProcess(1);
    }
}

void MainDialog::onPlotPeaks() {
    hooks_.openPlot(this, 1);
}
void MainDialog::onPlotLinkedPeaks() {
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
    playback_.closeMediaDevice();
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
    static_cast<QRadioButton*>(control(midi ? Control::Midi : Control::Wave))->setChecked(true);
    takeOver();
    fields_.fileName = *file;
    writeBack();
    playback_.closeMediaDevice();
    playback_.openMediaDevice();
}

void MainDialog::setTabOrderAsLaidOut() {
    // File, open, play, pause, stop, WAVE/MIDI, the eight fields top to
    // bottom, (1) to (4), the plots, load, reset, chmod, exit.
    const Control order[] = {
        Control::FileName,      Control::OpenFile,      Control::Play,
        Control::Pause,         Control::Stop,          Control::Wave,
        Control::Midi,          Control::FrameShift,    Control::FrameLength,
        Control::ZeroPadLength, Control::Window,        Control::Tempo,
        Control::ShortestNote,  Control::TimeSignature, Control::Program,
        Control::RunSpecScan,   Control::RunTrackJoin,  Control::RunNoteFind,
        Control::RunScoreToSmf, Control::PlotPeaks,     Control::PlotLinkedPeaks,
        Control::Load,          Control::Reset,         Control::Chmod,
        Control::Exit};
    for (size_t i = 0; i + 1 < std::size(order); ++i) {
        setTabOrder(control(order[i]), control(order[i + 1]));
    }
    for (Control id : order) control(id)->setFocusPolicy(Qt::StrongFocus);
}

QString MainDialog::positionText() const {
    auto clock = [](int64_t ms) {
        const int64_t s = ms / 1000;
        return QStringLiteral("%1:%2").arg(s / 60).arg(s % 60, 2, 10, QLatin1Char('0'));
    };
    if (!playback_.deviceOpen()) return QString();
    const int64_t at = device_.positionMs();
    const int64_t length = device_.durationMs();
    if (at < 0) return QString();
    const QString state = !playback_.playing()            ? QStringLiteral("■")
                          : playback_.paused()            ? QStringLiteral("❚❚")
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
