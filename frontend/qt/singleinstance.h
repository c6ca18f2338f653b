// One running instance per user: the first start listens on a local socket;
// a later start asks it to raise its window and ends.
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

namespace sonvola {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    // `name` defaults to "sonvola-" and the user's name.
    explicit SingleInstance(QString name = QString(), QObject* parent = nullptr);

    // True when another instance answered (it was asked to raise its window);
    // otherwise this instance starts listening and returns false.
    bool askRunningInstance();
    const QString& name() const { return name_; }

  signals:
    void raiseRequested();

  private:
    QString name_;
    QLocalServer* server_ = nullptr;
};

}  // namespace sonvola
