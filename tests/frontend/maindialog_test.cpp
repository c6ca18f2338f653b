// The main window, offscreen: controls, texts, field rules, pictures, keys,
// the exit question, the single instance and the real media device.
#include "frontend/qt/maindialog.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QtTest>
#include <fstream>

#include "frontend/qt/mediadevice.h"
#include "frontend/qt/singleinstance.h"
#include "tests/support/fakemedia.h"
#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"

using namespace sonvola;

namespace {

struct Recorded {
    QStringList messages;  // "caption|text|owned"
    QString nextFile;
    int exitStatus = -1;
    bool answerYes = false;
    QList<int> plots;
};

DialogHooks recordingHooks(Recorded& r) {
    DialogHooks h;
    h.message = [&r](QWidget* owner, const QString& caption, const QString& text,
                     QMessageBox::Icon) {
        r.messages << caption + "|" + text + "|" + (owner ? "owned" : "ownerless");
    };
    h.askYesNo = [&r](QWidget*, const QString& caption, const QString& text) {
        r.messages << caption + "|" + text + "|question";
        return r.answerYes;
    };
    h.openFileName = [&r](QWidget*, const QString&, const QString&, const QString&) {
        return r.nextFile;
    };
    h.exitProcess = [&r](int status) { r.exitStatus = status; };
    h.openPlot = [&r](QWidget*, int which) { r.plots << which; };
    return h;
}

QPushButton* button(MainDialog& d, int id) {
    return qobject_cast<QPushButton*>(d.control(id));
}

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void captionSizeAndControls() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        QCOMPARE(d.windowTitle(), QStringLiteral("Sonvola  ver1.40"));
        QCOMPARE(d.size(), QSize(473, 368));  // 315 x 245 dialog units
        QCOMPARE(button(d, 1008)->text(), QStringLiteral("①音楽音解析"));
        QCOMPARE(button(d, 1011)->text(), QStringLiteral("④1～3よりMIDIを生成"));
        QCOMPARE(button(d, 1002)->geometry(), QRect(165, 66, 108, 29));  // 110, 44, 72, 19
        QCOMPARE(d.edit(1001)->geometry(), QRect(11, 38, 447, 18));
        QVERIFY(qobject_cast<QRadioButton*>(d.control(1006))->isChecked());
        QVERIFY(!qobject_cast<QRadioButton*>(d.control(1007))->isChecked());
        QCOMPARE(d.palette().color(QPalette::Window), QColor(236, 233, 216));
        for (int id :
             {1002, 1003, 1004, 1005, 1008, 1009, 1010, 1011, 1012, 1013, 1014, 1015, 1016, 1017}) {
            QVERIFY2(button(d, id) && button(d, id)->isEnabled() && button(d, id)->isFlat(),
                     qPrintable(QString::number(id)));
        }
    }

    void defaultsAndResetLeaveThePath() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        QCOMPARE(d.edit(1024)->text(), QStringLiteral("10 _msec"));
        QCOMPARE(d.edit(1027)->text(), QStringLiteral("ハミング窓"));
        QCOMPARE(d.edit(1030)->text(), QStringLiteral("4 / 4"));
        QCOMPARE(d.edit(1001)->text(), QString());
        d.edit(1001)->setText("/music/a.wav");
        d.edit(1028)->setText("90");
        button(d, 1012)->click();  // load
        button(d, 1013)->click();  // reset
        QCOMPARE(d.edit(1028)->text(), QStringLiteral("120 _tempo"));
        QCOMPARE(d.edit(1001)->text(), QStringLiteral("/music/a.wav"));
        QCOMPARE(d.fields().m_strFileName, std::string("/music/a.wav"));
    }

    void openingWritesBackWhatWasStored() {
        test::FakeDevice device;
        test::FakeStarter starter;
        device.openable = {"/m/song.wav"};
        Recorded r;
        r.nextFile = "/m/song.wav";
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.edit(1028)->setText("96 _tempo");
        button(d, 1002)->click();  // open: the stored texts come back
        QCOMPARE(d.edit(1028)->text(), QStringLiteral("120 _tempo"));
        QCOMPARE(d.edit(1001)->text(), QStringLiteral("/m/song.wav"));
        d.edit(1028)->setText("96 _tempo");
        button(d, 1012)->click();  // load first keeps it
        button(d, 1002)->click();
        QCOMPARE(d.edit(1028)->text(), QStringLiteral("96 _tempo"));
    }

    void chmodCyclesSevenPictures() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        const QImage first = d.backgroundImage();
        QCOMPARE(first.size(), QSize(1000, 750));
        QSet<qint64> seen;
        for (int i = 0; i < 7; ++i) {
            const QImage& img = d.backgroundImage();
            seen.insert(static_cast<qint64>(
                qHashBits(img.constBits(), static_cast<size_t>(img.sizeInBytes()))));
            button(d, 1015)->click();
            if (i == 3) QCOMPARE(d.backgroundImage().size(), QSize(1280, 960));
        }
        QCOMPARE(d.backgroundIndex(), 0);
        QCOMPARE(d.backgroundImage(), first);
        QCOMPARE(seen.size(), 7);  // seven different pictures
    }

    void enterAndEscapeDoNotClose() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.edit(1028)->setFocus();
        QTest::keyClick(d.edit(1028), Qt::Key_Return);
        QTest::keyClick(d.edit(1028), Qt::Key_Escape);
        QTest::keyClick(&d, Qt::Key_Enter);
        QVERIFY(d.isVisible());
        QCOMPARE(d.result(), 0);
        QCOMPARE(d.edit(1028)->text(), QStringLiteral("120 _tempo"));
    }

    void exitAsksAndEndsWithStatusOne() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        button(d, 1010)->click();
        QCOMPARE(r.messages.last(),
                 QStringLiteral("終了|アプリケーションを終了しますか？|question"));
        QCOMPARE(r.exitStatus, -1);
        r.answerYes = true;
        button(d, 1010)->click();
        QCOMPARE(r.exitStatus, 1);
    }

    void playWithEmptyFieldShowsTheOwnerlessMessage() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        button(d, 1005)->click();
        QCOMPARE(r.messages,
                 QStringList{QStringLiteral("|err: ファイルオープンエラー :OpenMCI()|ownerless")});
    }

    void failingStopShowsTheOwnedErrorAndEnds() {
        test::FakeDevice device;
        test::FakeStarter starter;
        device.openable = {"/m/song.wav"};
        Recorded r;
        r.nextFile = "/m/song.wav";
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.show();
        button(d, 1002)->click();
        device.failStop = true;
        button(d, 1004)->click();
        QCOMPARE(r.messages.last(), QStringLiteral("エラー|stop failed|owned"));
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
    }

    void radioSwitchesWithAndWithoutTheMidiFile() {
        test::TempDir dir;
        const std::string wav = dir.file("song.wav");
        test::writeFile(wav, "x");
        test::FakeDevice device;
        test::FakeStarter starter;
        device.openable = {wav, wav + ".mid"};
        device.midiOnly = {wav + ".mid"};
        Recorded r;
        r.nextFile = QString::fromStdString(wav);
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        button(d, 1002)->click();
        auto* midi = qobject_cast<QRadioButton*>(d.control(1007));
        midi->click();  // no song.wav.mid yet: nothing changes
        QCOMPARE(d.edit(1001)->text(), QString::fromStdString(wav));
        QCOMPARE(d.playback().m_bDeviceOpen, 1);
        test::writeFile(wav + ".mid", "MThd");
        qobject_cast<QRadioButton*>(d.control(1006))->click();
        midi->click();
        QCOMPARE(d.edit(1001)->text(), QString::fromStdString(wav + ".mid"));
        QCOMPARE(QString::fromStdString(device.log.back()),
                 QString::fromStdString("open " + wav + ".mid midi"));
        qobject_cast<QRadioButton*>(d.control(1006))->click();
        QCOMPARE(d.edit(1001)->text(), QString::fromStdString(wav));
    }

    void plotButtonsOpenTheirWindows() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        button(d, 1009)->click();
        button(d, 1016)->click();
        QCOMPARE(r.plots, (QList<int>{1, 2}));
    }

    void secondStartAsksTheFirstToRaise() {
        const QString name =
            QStringLiteral("sonvola-test-%1").arg(QCoreApplication::applicationPid());
        SingleInstance first(name);
        QVERIFY(!first.askRunningInstance());
        QSignalSpy raised(&first, &SingleInstance::raiseRequested);
        SingleInstance second(name);
        QVERIFY(second.askRunningInstance());
        QVERIFY(raised.wait(2000));
    }

    void realDeviceOpensAndRunsOnTheSilentClock() {
        test::TempDir dir;
        const std::string wav = dir.file("t.wav");
        test::writeFile(wav,
                        test::makeWav(test::tone(440, 0.5, 8000, 22050), {.sampleRate = 22050}));
        PcmMediaDevice device;
        uint32_t id = 0;
        QVERIFY(device.open(wav, MediaKind::Wave, id));
        QVERIFY(device.play(id, true));
        QVERIFY(device.playing());
        QTest::qWait(60);
        QVERIFY(device.stop(id));
        const int64_t at = device.positionMs();
        QVERIFY(at >= 40);
        QVERIFY(device.play(id, false));  // resume keeps the position
        QVERIFY(device.positionMs() >= at);
        QVERIFY(device.close(id));
        QVERIFY(!device.stop(id));  // a closed device does not answer
        QVERIFY(!device.open(dir.file("missing.wav"), MediaKind::Wave, id));
        QVERIFY(!device.open(wav, MediaKind::Midi, id));  // a WAV is no MIDI file
        QVERIFY(!device.errorText().empty());
    }

    void midiRendersToSamplesWithFluidSynth() {
        const std::string font = findSoundFont();
        if (font.empty()) QSKIP("no General MIDI sound font installed");
        test::TempDir dir;
        // One note, a-3 (key 69) for 480 ticks at 120 bpm.
        const unsigned char bytes[] = {'M',  'T',  'h',  'd',  0,    0,    0,    6,    0,
                                       1,    0,    1,    0x01, 0xE0, 'M',  'T',  'r',  'k',
                                       0,    0,    0,    12,   0x00, 0x90, 0x45, 0x64, 0x83,
                                       0x60, 0x90, 0x45, 0x00, 0x00, 0xFF, 0x2F, 0x00};
        test::writeFile(dir.file("a.mid"),
                        std::string(reinterpret_cast<const char*>(bytes), sizeof bytes));
        MidiRenderer renderer;
        std::string error;
        QVERIFY2(renderer.load(dir.file("a.mid"), font, error), error.c_str());
        std::vector<int16_t> samples(44100 * 2);
        size_t frames = 0, got = 0;
        while (frames + 1024 <= 44100 &&
               (got = renderer.render(samples.data() + frames * 2, 1024)) > 0) {
            frames += got;
        }
        int peak = 0;
        for (size_t i = 0; i < frames * 2; ++i) peak = std::max(peak, std::abs(int(samples[i])));
        QVERIFY2(peak > 500, qPrintable(QString("peak %1").arg(peak)));
        QVERIFY(!renderer.load(dir.file("missing.mid"), font, error));
    }

    void screenshotForAPerson() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        const QString out = QDir::currentPath() + "/screenshots";
        QDir().mkpath(out);
        QVERIFY(d.grab().save(out + "/main-window.png"));
    }
};

QTEST_MAIN(MainDialogTest)
#include "maindialog_test.moc"
