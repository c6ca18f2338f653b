// Where the single-instance socket lives and whom it talks to: the user's
// own folders only, never a socket or folder someone else could have made.
#include "frontend/qt/singleinstance.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalServer>
#include <QSignalSpy>
#include <QtTest>
#include <cstring>
#include <optional>

#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"

using namespace sonvola;
using test::ScopedEnv;

namespace {

struct stat lstatOf(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) st.st_mode = 0;
    return st;
}

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString userFolderName(const test::TempDir& tmp) {
    return qs(tmp.path()) + QStringLiteral("/sonvola-%1").arg(static_cast<qulonglong>(::getuid()));
}

// A socket file nobody listens on, as a crashed instance leaves behind.
bool makeDeadSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (fd < 0) return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::strncpy(address.sun_path, bytes.constData(), sizeof address.sun_path - 1);
    const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return bound;
}

}  // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
  private slots:
    void socketLivesInThePrivateRuntimeFolder() {
        test::TempDir runtime;  // mkdtemp makes it 0700
        ScopedEnv xdg("XDG_RUNTIME_DIR", runtime.path());
        QCOMPARE(SingleInstance::userFolder(), qs(runtime.path()));
        SingleInstance first(QStringLiteral("s"));
        QCOMPARE(first.name(), qs(runtime.file("s")));
        QVERIFY(!first.askRunningInstance());
        QVERIFY2(first.listening(), qPrintable(first.problem()));
        const struct stat st = lstatOf(first.name());
        QVERIFY(S_ISSOCK(st.st_mode));
        QCOMPARE(st.st_uid, ::getuid());
        QCOMPARE(st.st_mode & 077, 0u);
        // The default name lands there too.
        QCOMPARE(SingleInstance().name(), qs(runtime.file("sonvola.socket")));
    }

    void withoutARuntimeFolderAPrivateOneIsMade() {
        test::TempDir tmp;
        ScopedEnv tmpdir("TMPDIR", tmp.path());
        const QString folder = userFolderName(tmp);
        {
            ScopedEnv xdg("XDG_RUNTIME_DIR", std::nullopt);
            QCOMPARE(SingleInstance::userFolder(), folder);
            const struct stat st = lstatOf(folder);
            QVERIFY(S_ISDIR(st.st_mode));
            QCOMPARE(st.st_uid, ::getuid());
            QCOMPARE(st.st_mode & 0777, 0700u);
        }
        // A runtime folder that is relative, open to others or a link to a
        // private folder is passed over for the private one.
        test::TempDir open;
        QVERIFY(::chmod(open.path().c_str(), 0755) == 0);
        test::TempDir target;
        const std::string link = tmp.file("link");
        QVERIFY(::symlink(target.path().c_str(), link.c_str()) == 0);
        for (const std::string& runtime : {std::string("run/user"), open.path(), link}) {
            ScopedEnv xdg("XDG_RUNTIME_DIR", runtime);
            SingleInstance instance(QStringLiteral("s"));
            QCOMPARE(instance.name(), folder + "/s");
            QVERIFY(!instance.askRunningInstance());
            QVERIFY(instance.listening());
        }
        QVERIFY(!test::fileExists(open.file("s")));
        QVERIFY(!test::fileExists(target.file("s")));
    }

    void aFolderOthersCouldHaveMadeIsNotUsed() {
        test::TempDir tmp;
        ScopedEnv tmpdir("TMPDIR", tmp.path());
        ScopedEnv xdg("XDG_RUNTIME_DIR", std::nullopt);
        const QString folder = userFolderName(tmp);
        const QByteArray folderBytes = QFile::encodeName(folder);
        test::TempDir elsewhere;

        // Open to the group and others.
        QVERIFY(::mkdir(folderBytes.constData(), 0700) == 0);
        QVERIFY(::chmod(folderBytes.constData(), 0755) == 0);
        {
            SingleInstance instance(QStringLiteral("s"));
            QVERIFY(instance.name().isEmpty());
            QVERIFY2(instance.problem().contains("open to other users (mode 0755)"),
                     qPrintable(instance.problem()));
            QVERIFY(!instance.askRunningInstance());
            QVERIFY(!instance.listening());
        }
        QCOMPARE(lstatOf(folder).st_mode & 0777, 0755u);  // left as it was
        QVERIFY(QDir(folder).isEmpty());
        QVERIFY(::rmdir(folderBytes.constData()) == 0);

        // A link to a private folder.
        QVERIFY(::symlink(elsewhere.path().c_str(), folderBytes.constData()) == 0);
        {
            SingleInstance instance(QStringLiteral("s"));
            QVERIFY(instance.name().isEmpty());
            QVERIFY(instance.problem().contains("symbolic link"));
            QVERIFY(!instance.askRunningInstance());
        }
        QVERIFY(QDir(qs(elsewhere.path())).isEmpty());
        QVERIFY(::unlink(folderBytes.constData()) == 0);

        // A plain file.
        test::writeFile(folder.toStdString(), "x");
        SingleInstance instance(QStringLiteral("s"));
        QVERIFY(instance.name().isEmpty());
        QVERIFY(instance.problem().contains("is not a folder"));
        QVERIFY(!instance.askRunningInstance());
        QCOMPARE(test::readFile(folder.toStdString()), std::string("x"));
    }

    void onlyItsOwnSocketIsTalkedTo() {
        test::TempDir dir;
        // Something that is no socket at the socket's path: left alone.
        const QString file = qs(dir.file("file"));
        test::writeFile(file.toStdString(), "keep");
        SingleInstance onFile(file);
        QVERIFY(!onFile.askRunningInstance());
        QVERIFY(!onFile.listening());
        QVERIFY(onFile.problem().contains("is not a socket"));
        QCOMPARE(test::readFile(file.toStdString()), std::string("keep"));

        // A link to a live socket: not followed, not removed.
        QLocalServer server;
        const QString real = qs(dir.file("real"));
        QVERIFY(server.listen(real));
        const QString link = qs(dir.file("link"));
        QVERIFY(::symlink(QFile::encodeName(real).constData(),
                          QFile::encodeName(link).constData()) == 0);
        SingleInstance onLink(link);
        QVERIFY(!onLink.askRunningInstance());
        QVERIFY(!onLink.listening());
        QVERIFY(onLink.problem().contains("is a symbolic link"));
        QVERIFY(!server.waitForNewConnection(0));  // nobody knocked
        QVERIFY(S_ISLNK(lstatOf(link).st_mode));
    }

    void deadSocketOfItsOwnIsReplaced() {
        test::TempDir dir;
        const QString path = qs(dir.file("s"));
        QVERIFY(makeDeadSocket(path));
        QVERIFY(S_ISSOCK(lstatOf(path).st_mode));
        SingleInstance first(path);
        QVERIFY(!first.askRunningInstance());
        QVERIFY2(first.listening(), qPrintable(first.problem()));
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);
        SingleInstance second(path);
        QVERIFY(second.askRunningInstance());
        QVERIFY(raised.wait(2000));
    }

    void twoInstancesFindEachOtherInTheUserFolder() {
        const QString name =
            QStringLiteral("sonvola-test-%1").arg(QCoreApplication::applicationPid());
        SingleInstance first(name);
        QCOMPARE(first.name(), SingleInstance::userFolder() + "/" + name);
        QVERIFY(!first.askRunningInstance());
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);
        SingleInstance second(name);
        QVERIFY(second.askRunningInstance());
        QVERIFY(raised.wait(2000));
        QVERIFY(!SingleInstance(QStringLiteral("a/b")).askRunningInstance());
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "singleinstance_test.moc"
