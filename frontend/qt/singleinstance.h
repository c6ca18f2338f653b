// One running instance per user: the first start listens on a local socket;
// a later start asks it to raise its window and ends.
//
// The socket lives in a folder only this user can enter: $XDG_RUNTIME_DIR
// when it is such a folder, else "sonvola-UID" in the temporary folder, made
// with mode 0700. Nothing another user could have put there is used: a
// folder that is a link, belongs to someone else or is open to others, or a
// socket path that is not this user's own socket, leaves the front end
// starting without the check (with a warning on standard error); it never
// connects to a stranger's socket.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace sonvola {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // `name`: the socket's file name in the user's folder ("sonvola.socket"
    // when empty), or an absolute path, used as it is.
    explicit SingleInstance(QString name = QString(), QObject* parent = nullptr);

    // True when another instance answered (it was asked to raise its window);
    // otherwise this instance starts listening and returns false. False too
    // when there is no safe place for the socket: see problem().
    bool askRunningInstance();

    // The socket's full path; empty when there is no safe folder for it.
    const QString& name() const { return name_; }
    // Why the check for a running instance was left out; empty when it was not.
    const QString& problem() const { return problem_; }
    bool listening() const { return server_ != nullptr; }

    // The user's own folder for sockets, made when missing: $XDG_RUNTIME_DIR,
    // else sonvola-UID in the temporary folder. Empty, with the reason in
    // `problem`, when the folder there is not one only this user can enter.
    static QString userFolder(QString* problem = nullptr);

  signals:
    void raiseRequested();

  private:
    QString name_;
    QString problem_;
    QLocalServer* server_ = nullptr;
};

}  // namespace sonvola
