// Running stages one after another in detached consoles, offscreen: the
// order, the stop at the first failure, a console or program that cannot
// start, and the four real stages making the MIDI file in one go. Every
// console is told to exit when its program is done, and each test waits
// until none of its consoles is left.
#include "frontend/qt/stagechain.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUuid>
#include <QtTest>
#include <memory>

#include "common/midifile.h"
#include "tests/support/fakemedia.h"
#include "tests/support/scopedenv.h"
#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"

using namespace sonvola;
using test::ScopedEnv;

namespace {

QString consoleProgram() {
    return QStringLiteral(SONVOLA_BIN_DIR "/sonvola-console");
}

// The processes whose command line holds `token`.
QStringList processesWith(const QString& token) {
    QStringList found;
    const QByteArray needle = token.toUtf8();
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool number = false;
        pid.toLongLong(&number);
        if (!number) continue;
        QFile f(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (!f.open(QIODevice::ReadOnly)) continue;
        const QByteArray cmdline = f.readAll();
        if (cmdline.contains(needle))
            found << pid + ": " + QString::fromUtf8(cmdline).replace('\0', ' ');
    }
    return found;
}

// `/bin/sh -c SCRIPT TOKEN`: the token becomes $0 and marks the command
// line of the shell.
StageCommand shellStage(const std::string& script, const QString& token) {
    return {"/bin/sh", {"-c", script, token.toStdString()}};
}

struct Spies {
    explicit Spies(StageChain& chain)
        : started(&chain, &StageChain::stageStarted),
          stageDone(&chain, &StageChain::stageFinished),
          done(&chain, &StageChain::finished) {}
    QList<int> startedIndexes() const {
        QList<int> out;
        for (const auto& s : started) out << s.at(0).toInt();
        return out;
    }
    QList<QPair<int, int>> finishedStages() const {
        QList<QPair<int, int>> out;
        for (const auto& s : stageDone) out << qMakePair(s.at(0).toInt(), s.at(1).toInt());
        return out;
    }
    QSignalSpy started, stageDone, done;
};

}  // namespace

class StageChainTest : public QObject {
    Q_OBJECT
  private:
    // Each test's own temporary folder, named after a fresh token: the
    // status files of its consoles lie below it, so the token is on the
    // command line of every console the test starts.
    QString token_;
    std::unique_ptr<QTemporaryDir> tmp_;
    std::unique_ptr<ScopedEnv> tmpEnv_;

    StageChain* makeChain(QObject* parent) {
        auto* chain = new StageChain(consoleProgram(), parent);
        chain->setConsoleOptions({QStringLiteral("--exit-when-done")});
        return chain;
    }

  private slots:
    void init() {
        token_ = QStringLiteral("sonvola-chain-") + QUuid::createUuid().toString(QUuid::Id128);
        tmp_ = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/" + token_ + "-XXXXXX");
        QVERIFY(tmp_->isValid());
        tmpEnv_ = std::make_unique<ScopedEnv>("TMPDIR", tmp_->path().toStdString());
    }

    void cleanup() {
        // Every console ends by itself once its program is done.
        QTRY_VERIFY2_WITH_TIMEOUT(processesWith(token_).isEmpty(),
                                  qPrintable(processesWith(token_).join("\n")), 60000);
        tmpEnv_.reset();
        tmp_.reset();
    }

    void threeStagesRunInOrder() {
        test::TempDir dir;
        QObject owner;
        StageChain* chain = makeChain(&owner);
        Spies spies(*chain);
        const std::string log = dir.file("log");
        std::vector<StageCommand> commands;
        for (int i = 0; i < 3; ++i) {
            commands.push_back(
                shellStage("echo " + std::to_string(i) + " >> '" + log + "'; exit 0", token_));
        }
        QVERIFY(!chain->isRunning());
        QCOMPARE(chain->currentIndex(), -1);
        QVERIFY(chain->start(commands));
        QVERIFY(chain->isRunning());
        QCOMPARE(spies.started.count(), 0);  // nothing before the event loop runs
        QVERIFY(!chain->start(commands));    // refused while running
        QTRY_COMPARE_WITH_TIMEOUT(spies.done.count(), 1, 120000);
        QVERIFY(!chain->isRunning());
        QCOMPARE(spies.startedIndexes(), (QList<int>{0, 1, 2}));
        QCOMPARE(spies.finishedStages(), (QList<QPair<int, int>>{{0, 0}, {1, 0}, {2, 0}}));
        QCOMPARE(spies.done.at(0).at(0).toBool(), true);
        QCOMPARE(spies.done.at(0).at(1).toInt(), -1);
        QCOMPARE(test::readFile(log), std::string("0\n1\n2\n"));  // one after another
    }

    void aFailingStageStopsTheChain() {
        test::TempDir dir;
        QObject owner;
        StageChain* chain = makeChain(&owner);
        Spies spies(*chain);
        const std::string marker = dir.file("third-ran");
        QVERIFY(chain->start({shellStage("exit 0", token_), shellStage("exit 7", token_),
                              shellStage("touch '" + marker + "'; exit 0", token_)}));
        QTRY_COMPARE_WITH_TIMEOUT(spies.done.count(), 1, 120000);
        QCOMPARE(spies.done.at(0).at(0).toBool(), false);
        QCOMPARE(spies.done.at(0).at(1).toInt(), 1);
        QCOMPARE(spies.finishedStages(), (QList<QPair<int, int>>{{0, 0}, {1, 7}}));
        QCOMPARE(spies.startedIndexes(), (QList<int>{0, 1}));
        // Once no console of this chain is left, a third one would have
        // made its marker by now.
        QTRY_VERIFY_WITH_TIMEOUT(processesWith(token_).isEmpty(), 60000);
        QVERIFY(!test::fileExists(marker));
        QCOMPARE(spies.done.count(), 1);

        // A finished chain starts again.
        QVERIFY(chain->start({shellStage("exit 0", token_)}));
        QTRY_COMPARE_WITH_TIMEOUT(spies.done.count(), 2, 120000);
        QCOMPARE(spies.done.at(1).at(0).toBool(), true);
    }

    void nothingToRunIsRefused() {
        StageChain chain(consoleProgram());
        QSignalSpy done(&chain, &StageChain::finished);
        QVERIFY(!chain.start({}));
        QVERIFY(!chain.isRunning());
        QCoreApplication::processEvents();
        QCOMPARE(done.count(), 0);
    }

    void aProgramThatCannotStartStopsTheChain() {
        QObject owner;
        StageChain* chain = makeChain(&owner);
        Spies spies(*chain);
        QVERIFY(chain->start({{"/nonexistent/sonvola-no-such-stage", {token_.toStdString()}},
                              shellStage("exit 0", token_)}));
        QTRY_COMPARE_WITH_TIMEOUT(spies.done.count(), 1, 120000);
        QCOMPARE(spies.startedIndexes(), QList<int>{0});  // its console did start
        QCOMPARE(spies.finishedStages(), (QList<QPair<int, int>>{{0, -1}}));
        QCOMPARE(spies.done.at(0).at(1).toInt(), 0);
    }

    void aConsoleThatCannotStartStopsTheChain() {
        StageChain chain(QStringLiteral("/nonexistent/sonvola-console"));
        Spies spies(chain);
        QVERIFY(chain.start({shellStage("exit 0", token_), shellStage("exit 0", token_)}));
        QTRY_COMPARE_WITH_TIMEOUT(spies.done.count(), 1, 30000);
        QCOMPARE(spies.started.count(), 0);
        QCOMPARE(spies.finishedStages(), (QList<QPair<int, int>>{{0, -1}}));
        QCOMPARE(spies.done.at(0).at(0).toBool(), false);
        QCOMPARE(spies.done.at(0).at(1).toInt(), 0);
        QVERIFY(!chain.isRunning());
    }

    void theFourStagesMakeTheMidiFileInOneGo() {
        test::TempDir dir, work;
        const std::string wav = dir.file("my song.wav");
        test::writeFile(
            wav, test::makeWav(
                     test::synthNotes({{0.1, 0.6, 69, 12000}, {0.8, 0.6, 72, 12000}}, 1.5, 22050),
                     {.sampleRate = 22050}));
        // What an earlier run on another recording left in the work folder.
        test::writeFile(work.file("SpecScan.txt"), "x\nFrameRate: 1 LoopCount: 0\n/old.wav\n");

        FieldTexts fields;
        resetParameters(fields);
        test::FakeDevice device;
        device.openable = {wav};
        test::FakeWindow window{fields};
        window.readable = {wav};
        window.nextChoice = wav;
        test::FakeStarter starter;
        Playback playback{fields, device, window};
        Launcher launcher{
            fields,           playback, window, starter, std::string(SONVOLA_BIN_DIR) + "/",
            work.path() + "/"};
        playback.onOpenFile();
        std::vector<StageCommand> commands = launcher.runAllCommands();
        QCOMPARE(int(commands.size()), 4);
        QVERIFY(window.errors.empty());

        ScopedEnv workDir("SONVOLA_WORKDIR", work.path());
        QObject owner;
        StageChain* chain = makeChain(&owner);
        Spies spies(*chain);
        QVERIFY(chain->start(commands));
        QTRY_COMPARE_WITH_TIMEOUT(spies.done.count(), 1, 170000);
        QCOMPARE(spies.finishedStages(), (QList<QPair<int, int>>{{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
        QCOMPARE(spies.done.at(0).at(0).toBool(), true);
        Result<MidiFile> parsed = parseMidiFile(wav + ".mid");
        QVERIFY2(parsed, parsed.message().c_str());
        const MidiFile& midi = *parsed;
        bool a4 = false;
        for (const auto& n : midiNotes(midi)) a4 = a4 || n.key == 69;
        QVERIFY(a4);
        QVERIFY(starter.starts.empty());
    }
};

QTEST_MAIN(StageChainTest)
#include "stagechain_test.moc"
