#include "frontend/qt/singleinstance.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <cstdlib>

namespace sonvola {

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {
    if (name_.isEmpty()) {
        const char* user = std::getenv("USER");
        name_ = QStringLiteral("sonvola-") + QString::fromLocal8Bit(user && *user ? user : "user");
    }
}

bool SingleInstance::askRunningInstance() {
    QLocalSocket socket;
    socket.connectToServer(name_);
    if (socket.waitForConnected(500)) {
        socket.write("raise\n");
        socket.waitForBytesWritten(500);
        socket.disconnectFromServer();
        return true;
    }
    QLocalServer::removeServer(name_);  // left behind by an instance that crashed
    server_ = new QLocalServer(this);
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    server_->listen(name_);
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
