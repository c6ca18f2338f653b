// What the sonvola-console program does: its options, the one console
// window it shows and the status file it leaves for whoever watches it.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include "frontend/qt/consolewindow.h"

namespace sonvola {

struct ConsoleOptions {
    bool autoReturn = false;    // --auto
    QString statusFile;         // --status FILE; empty when not asked for
    bool exitWhenDone = false;  // --exit-when-done
    bool help = false;          // --help
    bool version = false;       // --version
    QString program;
    QStringList arguments;
};

// Reads the words after the program name. Options come before PROGRAM;
// every word from PROGRAM on belongs to it ("--" ends the options early).
// False with `error` set on wrong usage.
bool parseConsoleOptions(const QStringList& words, ConsoleOptions& options, QString& error);

QString consoleUsage();

// Writes `status` as one decimal line to `path` through a temporary file in
// the same folder that is then renamed over it, so that a reader sees the
// whole line or no file.
bool writeStatusFile(const QString& path, int status, QString* error = nullptr);

// One console window running the program of the options. The status file,
// if asked for, is written once: when the program ends, with -1 when it
// could not start, crashed or was ended by closing the window.
class ConsoleSession : public QObject {
    Q_OBJECT
  public:
    explicit ConsoleSession(const ConsoleOptions& options, QObject* parent = nullptr);
    ~ConsoleSession() override;

    // Shows the window and starts the program; false when it cannot be
    // started (the window says so and stays, unless --exit-when-done).
    bool start();
    ConsoleWindow* window() const { return window_; }
    bool ended() const { return ended_; }  // the program's end has been recorded

  signals:
    void windowClosed();  // the window is gone: the program may quit

  private:
    void programEnded(int exitCode);

    ConsoleOptions options_;
    QPointer<ConsoleWindow> window_;
    bool ended_ = false;
};

}  // namespace sonvola
