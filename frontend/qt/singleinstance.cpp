#include "frontend/qt/singleinstance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace sonvola {

namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// A real folder (not a link) of this user's that nobody else may enter.
bool isPrivateFolder(const QString& path, QString* problem) {
    struct stat st;
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        *problem = path + ": " + systemError(errno);
        return false;
    }
    if (S_ISLNK(st.st_mode)) {
        *problem = path + " is a symbolic link";
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        *problem = path + " is not a folder";
        return false;
    }
    if (st.st_uid != ::getuid()) {
        *problem = path + " belongs to another user";
        return false;
    }
    if (st.st_mode & 077) {
        *problem = path + QStringLiteral(" is open to other users (mode %1)")
                              .arg(st.st_mode & 0777, 4, 8, QLatin1Char('0'));
        return false;
    }
    return true;
}

// The process at the other end runs as this user. Where the system cannot
// say, the checks on the folder and the socket file have to do.
bool peerIsThisUser(const QLocalSocket& socket) {
#ifdef SO_PEERCRED
    struct ucred peer {};
    socklen_t length = sizeof peer;
    if (::getsockopt(static_cast<int>(socket.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer,
                     &length) != 0) {
        return false;
    }
    return peer.uid == ::getuid();
#else
    (void)socket;
    return true;
#endif
}

}  // namespace

QString SingleInstance::userFolder(QString* problem) {
    QString ignored;
    if (!problem) problem = &ignored;
    // The session's runtime folder, when it is what it should be; else our own.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    QString runtimeProblem;
    if (runtime.startsWith(QLatin1Char('/')) && isPrivateFolder(runtime, &runtimeProblem)) {
        return runtime;
    }
    const QString folder =
        QDir::tempPath() + QStringLiteral("/sonvola-%1").arg(static_cast<qulonglong>(::getuid()));
    if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST) {
        *problem = QStringLiteral("cannot make ") + folder + ": " + systemError(errno);
        return QString();
    }
    // Made now or long ago, perhaps by someone else: looked at the same way.
    if (!isPrivateFolder(folder, problem)) return QString();
    return folder;
}

SingleInstance::SingleInstance(QString name, QObject* parent) : QObject(parent) {
    if (name.isEmpty()) name = QStringLiteral("sonvola.socket");
    if (name.startsWith(QLatin1Char('/'))) {
        name_ = name;
        return;
    }
    if (name.contains(QLatin1Char('/'))) {
        problem_ = QStringLiteral("the socket name \"") + name + "\" holds a slash";
        return;
    }
    const QString folder = userFolder(&problem_);
    if (!folder.isEmpty()) name_ = folder + QLatin1Char('/') + name;
}

bool SingleInstance::askRunningInstance() {
    auto withoutCheck = [this] {
        std::fprintf(stderr, "sonvola: %s; starting without looking for a running instance\n",
                     problem_.toLocal8Bit().constData());
        return false;
    };
    if (name_.isEmpty()) return withoutCheck();
    const QByteArray path = QFile::encodeName(name_);
    struct stat st;
    if (::lstat(path.constData(), &st) == 0) {
        // Only a socket of this user's own is talked to, or replaced.
        if (!S_ISSOCK(st.st_mode)) {
            problem_ = name_ + (S_ISLNK(st.st_mode) ? " is a symbolic link" : " is not a socket");
            return withoutCheck();
        }
        if (st.st_uid != ::getuid()) {
            problem_ = name_ + " belongs to another user";
            return withoutCheck();
        }
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(500)) {
            if (!peerIsThisUser(socket)) {
                problem_ = name_ + " is served by another user";
                return withoutCheck();
            }
            socket.write("raise\n");
            socket.waitForBytesWritten(500);
            socket.disconnectFromServer();
            return true;
        }
        // Nobody answers: left behind by an instance that crashed.
        ::unlink(path.constData());
    } else if (errno != ENOENT) {
        problem_ = name_ + ": " + systemError(errno);
        return withoutCheck();
    }
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        problem_ = QStringLiteral("cannot listen on ") + name_ + ": " + server_->errorString();
        delete server_;
        server_ = nullptr;
        return withoutCheck();
    }
    connect(server_, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* s = server_->nextPendingConnection()) {
            connect(s, &QLocalSocket::readyRead, this, [this, s] {
                if (s->readAll().contains("raise")) emit raiseRequested();
            });
            connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        }
    });
    return false;
}

}  // namespace sonvola
