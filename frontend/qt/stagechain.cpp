#include "frontend/qt/stagechain.h"

#include <signal.h>

#include <QFile>
#include <QTemporaryDir>
#include <optional>

namespace sonvola {

namespace {

// Whether the process still runs: it exists and is not a zombie waiting to
// be collected.
bool processRuns(qint64 pid) {
    if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) != 0) return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly)) return true;
    // "pid (name) state ...": the name may hold blanks and parentheses.
    const QByteArray line = stat.readAll();
    const qsizetype close = line.lastIndexOf(')');
    return close < 0 || close + 2 >= line.size() || line[close + 2] != 'Z';
}

// The status a console wrote, or nothing yet.
std::optional<int> readStatus(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    bool ok = false;
    const int status = file.readAll().trimmed().toInt(&ok);
    return ok ? status : -1;
}

}  // namespace

StageChain::StageChain(QString consoleProgram, QObject* parent)
    : QObject(parent), consoleProgram_(std::move(consoleProgram)) {
    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, this, &StageChain::poll);
}

StageChain::~StageChain() = default;

bool StageChain::start(const std::vector<StageCommand>& commands) {
    if (running_ || commands.empty()) return false;
    statusDir_ = std::make_unique<QTemporaryDir>();
    commands_ = commands;
    index_ = 0;
    running_ = true;
    QTimer::singleShot(0, this, &StageChain::startStage);
    return true;
}

QString StageChain::statusPath(int index) const {
    return statusDir_->filePath(QStringLiteral("stage%1.status").arg(index));
}

void StageChain::startStage() {
    const StageCommand& command = commands_[static_cast<size_t>(index_)];
    QStringList options{QStringLiteral("--auto"), QStringLiteral("--status"), statusPath(index_)};
    options << consoleOptions_;
    consolePid_ = 0;
    if (!statusDir_->isValid() ||
        !startConsole(consoleProgram_, options, command.program, command.words, &consolePid_)) {
        stageEnded(-1);
        return;
    }
    emit stageStarted(index_);
    poll_.start();
}

void StageChain::poll() {
    std::optional<int> status = readStatus(statusPath(index_));
    if (!status && !processRuns(consolePid_)) {
        // The console may have written the status just before it went.
        status = readStatus(statusPath(index_));
        if (!status) status = -1;
    }
    if (status) stageEnded(*status);
}

void StageChain::stageEnded(int status) {
    poll_.stop();
    const int index = index_;
    emit stageFinished(index, status);
    if (status == 0 && index + 1 < static_cast<int>(commands_.size())) {
        ++index_;
        startStage();
        return;
    }
    running_ = false;
    statusDir_.reset();  // every console of this run has written its status or gone
    emit finished(status == 0, status == 0 ? -1 : index);
}

}  // namespace sonvola
