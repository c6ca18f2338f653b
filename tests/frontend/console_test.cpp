// The console window and the sonvola-console program, offscreen: typed
// lines, RETURN answered by itself, the status file, a program that cannot
// start, the window coming forward on a failure, and the detached start of
// the front end.
#include <unistd.h>

#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

#include "frontend/qt/consolesession.h"
#include "frontend/qt/consolewindow.h"
#include "tests/support/tempdir.h"

using namespace sonvola;

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

QString consoleProgram() {
    return QStringLiteral(SONVOLA_BIN_DIR "/sonvola-console");
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QStringList shell(const QString& script) {
    return {QStringLiteral("-c"), script};
}

struct Run {
    bool exitedByItself = false;
    int exitCode = -1;
    QByteArray out, err;
};

// Runs sonvola-console with `args` and waits for it to end by itself; one
// that does not is killed (and reported so).
Run runConsole(const QStringList& args) {
    QProcess p;
    p.start(consoleProgram(), args);
    Run r;
    if (!p.waitForStarted(10000)) return r;
    r.exitedByItself = p.waitForFinished(60000);
    if (!r.exitedByItself) {
        p.kill();
        p.waitForFinished(5000);
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

}  // namespace

class ConsoleTest : public QObject {
    Q_OBJECT
  private slots:
    void optionsComeBeforeTheProgram() {
        ConsoleOptions o;
        QString error;
        QVERIFY(parseConsoleOptions(
            {"--auto", "--status", "/tmp/s", "--exit-when-done", "/bin/sh", "-c", "--auto"}, o,
            error));
        QVERIFY(o.autoReturn);
        QVERIFY(o.exitWhenDone);
        QCOMPARE(o.statusFile, QStringLiteral("/tmp/s"));
        QCOMPARE(o.program, QStringLiteral("/bin/sh"));
        QCOMPARE(o.arguments, (QStringList{"-c", "--auto"}));

        QVERIFY(parseConsoleOptions({"/bin/true"}, o, error));
        QVERIFY(!o.autoReturn && !o.exitWhenDone && o.statusFile.isEmpty());
        QVERIFY(o.arguments.isEmpty());

        QVERIFY(parseConsoleOptions({"--", "--odd-name", "x"}, o, error));
        QCOMPARE(o.program, QStringLiteral("--odd-name"));
        QCOMPARE(o.arguments, QStringList{"x"});

        QVERIFY(parseConsoleOptions({"--help"}, o, error));
        QVERIFY(o.help);
    }

    void wrongUsageIsRefused() {
        ConsoleOptions o;
        QString error;
        QVERIFY(!parseConsoleOptions({}, o, error));
        QVERIFY(!parseConsoleOptions({"--auto"}, o, error));
        QVERIFY(!parseConsoleOptions({"--status"}, o, error));
        QVERIFY(!parseConsoleOptions({"--status", "", "/bin/true"}, o, error));
        QVERIFY(!parseConsoleOptions({"--bogus", "/bin/true"}, o, error));
        QVERIFY(error.contains(QStringLiteral("--bogus")));
    }

    void statusFileIsReplacedWhole() {
        test::TempDir dir;
        const QString path = qs(dir.file("stage.status"));
        QVERIFY(writeStatusFile(path, 7));
        QCOMPARE(readAll(path), QByteArray("7\n"));
        QVERIFY(writeStatusFile(path, -1));
        QCOMPARE(readAll(path), QByteArray("-1\n"));
        // Nothing else is left in the folder.
        QCOMPARE(QDir(qs(dir.path())).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"stage.status"});
        QVERIFY(!writeStatusFile(qs(dir.file("no/such/folder/s")), 0));
    }

    void aTypedLineReachesTheProgram() {
        ConsoleWindow w(QStringLiteral("/bin/sh"),
                        shell(QStringLiteral("read x; echo \"got:$x\"; read y; exit 4")));
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy ended(&w, &ConsoleWindow::programFinished);
        w.show();
        QVERIFY(w.start());
        auto* input = w.findChild<QLineEdit*>();
        QVERIFY(input);
        QVERIFY(input->isEnabled());
        QTest::keyClicks(input, QStringLiteral("abc"));
        QTest::keyClick(input, Qt::Key_Return);
        QTRY_VERIFY_WITH_TIMEOUT(w.text().contains(QStringLiteral("got:abc")), 30000);
        QVERIFY(!w.finished());  // it waits for the second line
        w.sendLine(QString());
        QTRY_VERIFY_WITH_TIMEOUT(w.finished(), 30000);
        QCOMPARE(w.exitCode(), 4);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).toInt(), 4);
        QVERIFY(w.text().contains(QStringLiteral("終了コード 4")));
        QVERIFY(!input->isEnabled());
    }

    void autoReturnClosesTheInput() {
        ConsoleWindow w(QStringLiteral("/bin/sh"),
                        shell(QStringLiteral("echo hello; read x; echo \"after:[$x]\"; exit 3")));
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        w.setAutoReturn(true);
        w.show();
        QVERIFY(w.start());
        auto* input = w.findChild<QLineEdit*>();
        QVERIFY(!input->isEnabled());
        QVERIFY(input->placeholderText().contains(QStringLiteral("自動")));
        w.sendLine(QStringLiteral("ignored"));
        QTRY_VERIFY_WITH_TIMEOUT(w.finished(), 30000);
        QCOMPARE(w.exitCode(), 3);
        QVERIFY(w.text().contains(QStringLiteral("hello")));
        QVERIFY(w.text().contains(QStringLiteral("after:[]")));
        QVERIFY(!w.text().contains(QStringLiteral("ignored")));
    }

    void aProgramThatCannotStartIsShown() {
        ConsoleWindow w(QStringLiteral("/nonexistent/sonvola-no-such-program"), {});
        w.setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy ended(&w, &ConsoleWindow::programFinished);
        w.show();
        QVERIFY(!w.start());
        QVERIFY(w.finished());
        QCOMPARE(w.exitCode(), -1);
        QCOMPARE(ended.count(), 1);
        QCOMPARE(ended.at(0).at(0).toInt(), -1);
        QVERIFY(w.text().contains(QStringLiteral("起動できませんでした")));
        QVERIFY(w.text().contains(QStringLiteral("sonvola-no-such-program")));
    }

    void aFailureComesToTheFront() {
        for (int code : {0, 5}) {
            ConsoleWindow w(QStringLiteral("/bin/sh"),
                            shell(QStringLiteral("read x; exit %1").arg(code)));
            w.setAttribute(Qt::WA_DeleteOnClose, false);
            w.show();
            QVERIFY(w.start());
            QWidget other;
            other.show();
            other.activateWindow();
            QTRY_VERIFY_WITH_TIMEOUT(other.isActiveWindow(), 10000);
            w.sendLine(QString());
            QTRY_VERIFY_WITH_TIMEOUT(w.finished(), 30000);
            QCOMPARE(w.exitCode(), code);
            if (code == 0) {
                QCoreApplication::processEvents();
                QVERIFY(other.isActiveWindow());
            } else {
                QTRY_VERIFY_WITH_TIMEOUT(w.isActiveWindow(), 10000);
            }
        }
    }

    void closingTheWindowEndsTheProgramAndRecordsIt() {
        test::TempDir dir;
        ConsoleOptions o;
        o.program = QStringLiteral("/bin/sh");
        o.arguments = shell(QStringLiteral("read x; exit 0"));
        o.statusFile = qs(dir.file("s"));
        ConsoleSession session(o);
        QSignalSpy closed(&session, &ConsoleSession::windowClosed);
        QVERIFY(session.start());
        QPointer<ConsoleWindow> w = session.window();
        QVERIFY(!w->finished());
        QVERIFY(!QFile::exists(o.statusFile));
        w->close();  // the program waits for a line: closing ends it
        QCOMPARE(readAll(o.statusFile), QByteArray("-1\n"));
        QTRY_VERIFY_WITH_TIMEOUT(w.isNull(), 10000);
        QCOMPARE(closed.count(), 1);
    }

    void aSessionWithExitWhenDoneClosesItself() {
        test::TempDir dir;
        ConsoleOptions o;
        o.program = QStringLiteral("/bin/sh");
        o.arguments = shell(QStringLiteral("echo hello; read x; exit 3"));
        o.statusFile = qs(dir.file("s"));
        o.autoReturn = true;
        o.exitWhenDone = true;
        ConsoleSession session(o);
        QSignalSpy closed(&session, &ConsoleSession::windowClosed);
        QVERIFY(session.start());
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 30000);
        QVERIFY(session.ended());
        QCOMPARE(readAll(o.statusFile), QByteArray("3\n"));
    }

    void theProgramAnswersAndEndsByItself() {
        test::TempDir dir;
        const QString status = qs(dir.file("stage.status"));
        const Run r = runConsole({"--auto", "--status", status, "--exit-when-done", "/bin/sh", "-c",
                                  "echo hello; read x; exit 3"});
        QVERIFY(r.exitedByItself);
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(readAll(status), QByteArray("3\n"));
    }

    void theProgramReportsAProgramThatDoesNotExist() {
        test::TempDir dir;
        const QString status = qs(dir.file("stage.status"));
        const Run r = runConsole({"--auto", "--status", status, "--exit-when-done",
                                  "/nonexistent/sonvola-no-such-program", "x"});
        QVERIFY(r.exitedByItself);
        QCOMPARE(readAll(status), QByteArray("-1\n"));
    }

    void theProgramExplainsItsUsage() {
        Run r = runConsole({"--help"});
        QVERIFY(r.exitedByItself);
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.contains("usage: sonvola-console"));
        r = runConsole({"--status"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains("usage: sonvola-console"));
        r = runConsole({});
        QCOMPARE(r.exitCode, 2);
        r = runConsole({"--bogus", "/bin/true"});
        QCOMPARE(r.exitCode, 2);
        QVERIFY(r.err.contains("--bogus"));
    }

    void theStarterRunsTheConsoleDetached() {
        // A stand-in console that records how it was started.
        test::TempDir dir;
        const std::string fake = dir.file("fake-console");
        test::writeFile(fake,
                        "#!/bin/sh\n"
                        "d=$(dirname \"$0\")\n"
                        "printf '%s\\n' \"$@\" > \"$d/args.tmp\"\n"
                        "echo \"$PPID\" > \"$d/parent.tmp\"\n"
                        "pwd -P > \"$d/cwd.tmp\"\n"
                        "echo \"$SONVOLA_WORKDIR\" > \"$d/env.tmp\"\n"
                        "mv \"$d/args.tmp\" \"$d/args\"; mv \"$d/parent.tmp\" \"$d/parent\"\n"
                        "mv \"$d/cwd.tmp\" \"$d/cwd\"; mv \"$d/env.tmp\" \"$d/env\"\n");
        QVERIFY(QFile::setPermissions(qs(fake), QFile::ReadOwner | QFile::ExeOwner));
        qputenv("SONVOLA_WORKDIR", "/some/work/folder");
        ConsoleStarter starter(qs(fake));
        QCOMPARE(starter.consoleProgram(), qs(fake));
        const Status started = starter.start("/opt/sonvola/SpecScan", {"/music/my song.wav", "10"});
        qunsetenv("SONVOLA_WORKDIR");
        QVERIFY2(started.ok(), started.message().c_str());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(qs(dir.file("env"))), 30000);
        QCOMPARE(readAll(qs(dir.file("args"))),
                 QByteArray("/opt/sonvola/SpecScan\n/music/my song.wav\n10\n"));
        QCOMPARE(readAll(qs(dir.file("cwd"))).trimmed(),
                 QFileInfo(QDir::currentPath()).canonicalFilePath().toUtf8());
        QCOMPARE(readAll(qs(dir.file("env"))), QByteArray("/some/work/folder\n"));
        // Not a child of the front end: it runs on when the front end goes.
        QVERIFY(readAll(qs(dir.file("parent"))).trimmed().toLongLong() != ::getpid());

        ConsoleStarter missing(qs(dir.file("no-console")));
        QCOMPARE(missing.start("/opt/sonvola/SpecScan", {}).message(),
                 "cannot start " + dir.file("no-console"));
    }

    void theDefaultConsoleLivesNextToTheProgram() {
        QCOMPARE(defaultConsoleProgram(),
                 QCoreApplication::applicationDirPath() + QStringLiteral("/sonvola-console"));
        QCOMPARE(ConsoleStarter().consoleProgram(), defaultConsoleProgram());
    }
};

QTEST_MAIN(ConsoleTest)
#include "console_test.moc"
