// Runs stage commands one after another, each in a detached console of its
// own that answers RETURN by itself: the next one starts when the one before
// has ended with status 0. The consoles stay open for reading afterwards.
#pragma once

#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>
#include <vector>

#include "frontend/core/launcher.h"
#include "frontend/qt/consolewindow.h"

class QTemporaryDir;

namespace sonvola {

class StageChain : public QObject {
    Q_OBJECT
  public:
    // `consoleProgram`: the path of sonvola-console.
    explicit StageChain(QString consoleProgram = defaultConsoleProgram(),
                        QObject* parent = nullptr);
    ~StageChain() override;

    // More options for every console, before the program (tests pass
    // "--exit-when-done" so that nothing is left open).
    void setConsoleOptions(const QStringList& options) { consoleOptions_ = options; }

    // Starts the chain; the first console starts from the event loop, so no
    // signal comes before this returns. False (and nothing done) when the
    // chain is already running or `commands` is empty.
    bool start(const std::vector<StageCommand>& commands);
    bool isRunning() const { return running_; }
    int currentIndex() const { return running_ ? index_ : -1; }

  signals:
    // The console of stage `index` has been started.
    void stageStarted(int index);
    // Stage `index` has ended with `status`: -1 when it crashed, could not
    // be started or its console went away without a status. (When the
    // console itself cannot be started, stageStarted is not emitted.)
    void stageFinished(int index, int status);
    // After the last stage, or after the first that did not end with 0
    // (`failedIndex`; -1 when all were fine). Later stages are not started.
    void finished(bool allOk, int failedIndex);

  private:
    void startStage();
    void poll();
    void stageEnded(int status);
    QString statusPath(int index) const;

    QString consoleProgram_;
    QStringList consoleOptions_;
    std::vector<StageCommand> commands_;
    std::unique_ptr<QTemporaryDir> statusDir_;
    QTimer poll_;
    bool running_ = false;
    int index_ = 0;
    qint64 consolePid_ = 0;
};

}  // namespace sonvola
