// A console window of our own for each started stage: it runs the program,
// shows its standard output and error as they arrive, sends typed lines
// (RETURN included) to its standard input and shows the exit status.
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
// Shift_JIS (output of programs from the original platform). A character
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

    bool start();  // false when the program cannot be started
    QString text() const;
    bool finished() const { return finished_; }
    int exitCode() const { return exitCode_; }
    void sendLine(const QString& line);  // the line and a line end

  signals:
    void outputArrived();
    void programFinished(int exitCode);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void append(const QString& text);

    QProcess process_;
    QString program_;
    QStringList arguments_;
    QPlainTextEdit* output_;
    QLineEdit* input_;
    ConsoleDecoder decoder_;
    bool finished_ = false;
    int exitCode_ = -1;
};

// Starts each program in a console window of its own; the main window never waits.
class ConsoleStarter : public ProgramStarter {
  public:
    bool start(const std::string& program, const std::vector<std::string>& words) override;
    const std::vector<QPointer<ConsoleWindow>>& windows() const { return windows_; }

  private:
    std::vector<QPointer<ConsoleWindow>> windows_;
};

}  // namespace sonvola
