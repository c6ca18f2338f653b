#include "frontend/qt/consolesession.h"

#include <QSaveFile>
#include <QTimer>
#include <cstdio>

namespace sonvola {

bool parseConsoleOptions(const QStringList& words, ConsoleOptions& options, QString& error) {
    options = ConsoleOptions{};
    qsizetype i = 0;
    for (; i < words.size(); ++i) {
        const QString& w = words[i];
        if (w == QLatin1String("--")) {
            ++i;
            break;
        }
        if (!w.startsWith(QLatin1Char('-')) || w == QLatin1String("-")) break;
        if (w == QLatin1String("--help") || w == QLatin1String("-h")) {
            options.help = true;
            return true;
        } else if (w == QLatin1String("--version")) {
            options.version = true;
            return true;
        } else if (w == QLatin1String("--auto")) {
            options.autoReturn = true;
        } else if (w == QLatin1String("--exit-when-done")) {
            options.exitWhenDone = true;
        } else if (w == QLatin1String("--status")) {
            if (i + 1 >= words.size() || words[i + 1].isEmpty()) {
                error = QStringLiteral("--status needs a file name");
                return false;
            }
            options.statusFile = words[++i];
        } else {
            error = QStringLiteral("unknown option: %1").arg(w);
            return false;
        }
    }
    if (i >= words.size() || words[i].isEmpty()) {
        error = QStringLiteral("no program given");
        return false;
    }
    options.program = words[i];
    options.arguments = words.mid(i + 1);
    return true;
}

QString consoleUsage() {
    return QStringLiteral(
        "usage: sonvola-console [--auto] [--status FILE] [--exit-when-done] PROGRAM [ARGS...]\n"
        "Runs PROGRAM with ARGS in a console window of its own and ends when the\n"
        "window is closed (closing it while PROGRAM runs ends PROGRAM).\n"
        "  --auto            answer PROGRAM's RETURN prompts: its standard input is\n"
        "                    closed right after the start\n"
        "  --status FILE     when PROGRAM ends, write its exit status as one line to\n"
        "                    FILE (-1 when it crashed or could not be started)\n"
        "  --exit-when-done  close the window once PROGRAM has ended\n"
        "  --help            show this text\n"
        "  --version         show the program's name and version\n");
}

bool writeStatusFile(const QString& path, int status, QString* error) {
    QSaveFile file(path);
    const QByteArray line = QByteArray::number(status) + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(line) != line.size() || !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

ConsoleSession::ConsoleSession(const ConsoleOptions& options, QObject* parent)
    : QObject(parent), options_(options) {
    window_ = new ConsoleWindow(options_.program, options_.arguments);
    window_->setAutoReturn(options_.autoReturn);
    connect(window_, &ConsoleWindow::programFinished, this, &ConsoleSession::programEnded);
    connect(window_, &QObject::destroyed, this, &ConsoleSession::windowClosed);
}

ConsoleSession::~ConsoleSession() {
    if (window_) {
        disconnect(window_, nullptr, this, nullptr);
        delete window_;  // ends a program that still runs
    }
    if (!ended_) programEnded(-1);
}

bool ConsoleSession::start() {
    window_->show();
    return window_->start();
}

void ConsoleSession::programEnded(int exitCode) {
    if (ended_) return;
    ended_ = true;
    if (!options_.statusFile.isEmpty()) {
        QString error;
        if (!writeStatusFile(options_.statusFile, exitCode, &error)) {
            std::fprintf(stderr, "sonvola-console: cannot write %s: %s\n",
                         qPrintable(options_.statusFile), qPrintable(error));
        }
    }
    // From the event loop, so that a program that could not start is
    // reported the same way before the loop runs.
    if (options_.exitWhenDone && window_) {
        QTimer::singleShot(0, window_, &QWidget::close);
    }
}

}  // namespace sonvola
