#include "frontend/qt/consolewindow.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCloseEvent>
#include <QFileInfo>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include "common/console.h"

namespace sonvola {

namespace {

// Length of the longest prefix of `b` that does not end inside a UTF-8
// sequence, and whether that prefix is valid UTF-8.
std::pair<qsizetype, bool> utf8Prefix(const QByteArray& b) {
    qsizetype i = 0;
    const qsizetype n = b.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(b[i]);
        int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        if (len == 0) return {n, false};
        if (i + len > n) {
            // An incomplete sequence at the end: keep it if what is there fits.
            for (qsizetype k = i + 1; k < n; ++k) {
                if ((static_cast<unsigned char>(b[k]) & 0xC0) != 0x80) return {n, false};
            }
            return {i, true};
        }
        for (int k = 1; k < len; ++k) {
            if ((static_cast<unsigned char>(b[i + k]) & 0xC0) != 0x80) return {n, false};
        }
        i += len;
    }
    return {n, true};
}

}  // namespace

QString ConsoleDecoder::decode(const QByteArray& bytes) {
    pending_ += bytes;
    auto [length, valid] = utf8Prefix(pending_);
    QString text;
    if (valid) {
        text = QString::fromUtf8(pending_.left(length));
        pending_ = pending_.mid(length);
    } else {
        text = sjis_.isValid() ? sjis_.decode(pending_) : QString::fromLatin1(pending_);
        pending_.clear();
    }
    return text;
}

ConsoleWindow::ConsoleWindow(const QString& program, const QStringList& arguments, QWidget* parent)
    : QWidget(parent, Qt::Window), program_(program), arguments_(arguments) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QFileInfo(program).fileName());
    resize(720, 420);
    output_ = new QPlainTextEdit(this);
    output_->setReadOnly(true);
    output_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    input_ = new QLineEdit(this);
    input_->setPlaceholderText(tr("入力して RETURN"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(output_);
    layout->addWidget(input_);
    connect(input_, &QLineEdit::returnPressed, this, [this] {
        sendLine(input_->text());
        input_->clear();
    });
    process_.setProcessChannelMode(QProcess::MergedChannels);
    connect(&process_, &QProcess::readyReadStandardOutput, this, [this] {
        append(decoder_.decode(process_.readAllStandardOutput()));
        emit outputArrived();
    });
    connect(&process_, &QProcess::finished, this, [this](int code, QProcess::ExitStatus status) {
        append(decoder_.decode(process_.readAllStandardOutput()));
        end(status == QProcess::NormalExit ? code : -1,
            status == QProcess::NormalExit ? tr("\n\n[終了しました: 終了コード %1]\n").arg(code)
                                           : tr("\n\n[異常終了しました]\n"));
    });
    // Like a program in a terminal that goes away, the program is told
    // (SIGHUP) when the process showing it ends without closing it first.
    const pid_t self = ::getpid();
    process_.setChildProcessModifier([self] {
        ::prctl(PR_SET_PDEATHSIG, SIGHUP);
        if (::getppid() != self) ::raise(SIGHUP);  // it went before the line above
    });
}

ConsoleWindow::~ConsoleWindow() {
    if (process_.state() != QProcess::NotRunning) {
        closing_ = true;
        process_.kill();
        process_.waitForFinished(1000);
    }
}

bool ConsoleWindow::start() {
    process_.start(program_, arguments_);
    if (!process_.waitForStarted(5000)) {
        end(-1, tr("[起動できませんでした: %1]\n%2\n").arg(program_, process_.errorString()));
        return false;
    }
    if (autoReturn_) {
        process_.closeWriteChannel();
        input_->setEnabled(false);
        input_->setPlaceholderText(tr("RETURN は自動で送られます"));
    }
    return true;
}

void ConsoleWindow::end(int exitCode, const QString& note) {
    finished_ = true;
    exitCode_ = exitCode;
    append(note);
    input_->setEnabled(false);
    // A failure is not left hidden behind other windows.
    if (exitCode != 0 && !closing_) {
        raise();
        activateWindow();
    }
    emit programFinished(exitCode_);
}

QString ConsoleWindow::text() const {
    return output_->toPlainText();
}

void ConsoleWindow::sendLine(const QString& line) {
    if (process_.state() != QProcess::Running || autoReturn_) return;
    append(line + "\n");
    process_.write(line.toUtf8() + "\n");
}

void ConsoleWindow::append(const QString& text) {
    if (text.isEmpty()) return;
    output_->moveCursor(QTextCursor::End);
    output_->insertPlainText(text);
    output_->verticalScrollBar()->setValue(output_->verticalScrollBar()->maximum());
}

void ConsoleWindow::closeEvent(QCloseEvent* event) {
    // Closing the window ends a program that still runs, as a console does;
    // its end is recorded before the window goes.
    if (process_.state() != QProcess::NotRunning) {
        closing_ = true;
        process_.kill();
        process_.waitForFinished(2000);
    }
    QWidget::closeEvent(event);
}

QString defaultConsoleProgram() {
    return QString::fromStdString(getStageDir()) + QStringLiteral("sonvola-console");
}

bool startConsole(const QString& console, const QStringList& options, const std::string& program,
                  const std::vector<std::string>& words, qint64* pid) {
    QStringList args = options;
    args << QString::fromStdString(program);
    for (const auto& w : words) args << QString::fromStdString(w);
    return QProcess::startDetached(console, args, QString(), pid);
}

Status ConsoleStarter::start(const std::string& program, const std::vector<std::string>& words) {
    if (!startConsole(consoleProgram_, {}, program, words)) {
        return Status::error("cannot start " + consoleProgram_.toStdString());
    }
    return {};
}

Status InProcessConsoleStarter::start(const std::string& program,
                                      const std::vector<std::string>& words) {
    QStringList args;
    for (const auto& w : words) args << QString::fromStdString(w);
    auto* window = new ConsoleWindow(QString::fromStdString(program), args);
    if (!window->start()) {
        delete window;
        return Status::error("cannot start " + program);
    }
    window->show();
    windows_.push_back(window);
    return {};
}

}  // namespace sonvola
