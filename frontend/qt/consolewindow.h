// A console window of our own for each started stage: it runs the program,
// shows its standard output and error as they arrive, sends typed lines
// (RETURN included) to its standard input and shows the exit status.
// The front end does not host these windows itself: it starts the
// sonvola-console program for each stage, which shows one of them, so a
// running stage outlives the front end.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QProcess>
#include <QStringDecoder>
#include <QWidget>
#include <vector>

#include "frontend/core/launcher.h"

class QPlainTextEdit;
class QLineEdit;

namespace sonvola {

// Decodes a byte stream as UTF-8; a piece that is not UTF-8 is read as
// Shift_JIS (output of programs that write that encoding). A character
// split between two pieces is kept for the next one.
class ConsoleDecoder {
  public:
    QString decode(const QByteArray& bytes);

  private:
    QByteArray pending_;
    QStringDecoder sjis_{"Shift_JIS"};
};

class ConsoleWindow : public QWidget {
    Q_OBJECT
  public:
    ConsoleWindow(const QString& program, const QStringList& arguments, QWidget* parent = nullptr);
    ~ConsoleWindow() override;

    // Answers the program's RETURN prompts by itself: its standard input is
    // closed right after the start (the stages take end of input as RETURN)
    // and the input line is disabled. Set before start().
    void setAutoReturn(bool on) { autoReturn_ = on; }
    bool autoReturn() const { return autoReturn_; }

    // False when the program cannot be started; the window then says so and
    // programFinished(-1) is emitted.
    bool start();
    QString text() const;
    bool finished() const { return finished_; }
    int exitCode() const { return exitCode_; }  // -1 after a crash or a failed start
    void sendLine(const QString& line);         // the line and a line end

  signals:
    void outputArrived();
    void programFinished(int exitCode);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void append(const QString& text);
    void end(int exitCode, const QString& note);

    QProcess process_;
    QString program_;
    QStringList arguments_;
    QPlainTextEdit* output_;
    QLineEdit* input_;
    ConsoleDecoder decoder_;
    bool finished_ = false;
    int exitCode_ = -1;
    bool autoReturn_ = false;
    bool closing_ = false;
};

// The sonvola-console program, in the folder of the stages (getStageDir).
QString defaultConsoleProgram();

// Starts `console` detached (working folder and environment inherited) as
// `console OPTIONS... PROGRAM WORDS...`; false when it cannot be started.
// `pid`, when given, receives the console's process id.
bool startConsole(const QString& console, const QStringList& options, const std::string& program,
                  const std::vector<std::string>& words, qint64* pid = nullptr);

// Starts each program in a console of its own: a detached sonvola-console,
// so the program runs on when the front end is closed; the main window
// never waits.
class ConsoleStarter : public ProgramStarter {
  public:
    // `consoleProgram`: the path of sonvola-console.
    explicit ConsoleStarter(QString consoleProgram = defaultConsoleProgram())
        : consoleProgram_(std::move(consoleProgram)) {}

    Status start(const std::string& program, const std::vector<std::string>& words) override;
    const QString& consoleProgram() const { return consoleProgram_; }

  private:
    QString consoleProgram_;
};

// Runs the programs in console windows inside this process, for tests that
// answer the prompts and read the windows themselves; the windows close
// (and end their programs) with the process.
class InProcessConsoleStarter : public ProgramStarter {
  public:
    Status start(const std::string& program, const std::vector<std::string>& words) override;
    const std::vector<QPointer<ConsoleWindow>>& windows() const { return windows_; }

  private:
    std::vector<QPointer<ConsoleWindow>> windows_;
};

}  // namespace sonvola
