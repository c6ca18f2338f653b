// The main window, offscreen: controls, texts, field rules, pictures, keys,
// the exit question, the single instance and the real media device.
#include "frontend/qt/maindialog.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <cmath>
#include <fstream>
#include <map>

#include "decode/decode.h"
#include "frontend/qt/backgrounds.h"
#include "frontend/qt/consolewindow.h"
#include "frontend/qt/language.h"
#include "frontend/qt/mediadevice.h"
#include "frontend/qt/singleinstance.h"
#include "frontend/qt/stagechain.h"
#include "tests/support/contrast.h"
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

QPushButton* button(MainDialog& d, Control id) {
    return qobject_cast<QPushButton*>(d.control(id));
}

// Every text of the window's buttons and labels fits its control.
bool textsFit(MainDialog& d) {
    bool fit = true;
    for (auto* b : d.findChildren<QPushButton*>()) {
        const int room = b->width() - 2;  // inside the frame
        const int width = b->fontMetrics().horizontalAdvance(b->text());
        if (width > room) {
            qWarning("%s: %d pixels in %d", qPrintable(b->text()), width, room);
            fit = false;
        }
    }
    for (auto* l : d.findChildren<QLabel*>()) {
        const int width = l->fontMetrics().horizontalAdvance(l->text());
        if (width > l->width()) {
            qWarning("%s: %d pixels in %d", qPrintable(l->text()), width, l->width());
            fit = false;
        }
    }
    return fit;
}

using test::contrastOf;

}  // namespace

class MainDialogTest : public QObject {
    Q_OBJECT
  private slots:
    // The main window blocks no other window of the program: no modal
    // widget while it shows, and a console window beside it takes typed
    // lines (it would not under an application-modal main window).
    void mainWindowLeavesOtherWindowsUsable() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        // On the heap: it deletes itself when closed, as the program quits.
        QPointer<ConsoleWindow> console = new ConsoleWindow(QStringLiteral("/bin/cat"), {});
        QVERIFY(console->start());
        console->show();
        QString typed;
        QWidget* modal = &d;
        QTimer::singleShot(50, &d, [&] {
            modal = QApplication::activeModalWidget();
            auto* input = console->findChild<QLineEdit*>();
            QTest::keyClicks(input, QStringLiteral("hello"));
            QTest::keyClick(input, Qt::Key_Return);
        });
        QTimer::singleShot(800, &d, [&] {
            typed = console->text();
            d.done(0);
        });
        QCOMPARE(runMainWindow(d), 0);
        QCOMPARE(modal, nullptr);
        QVERIFY(!d.isModal());
        QCOMPARE(typed.count(QStringLiteral("hello")), 2);  // the echo and cat's answer
        delete console;
    }

    // Texts of the window's own controls fit them; the colours stay on the
    // window's own controls, and a message box owned by the window is
    // readable.
    void textsFitAndColoursStayAtHome() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.show();
        QCOMPARE(d.font().pointSize(), 8);
        QVERIFY(textsFit(d));
        QMessageBox box(QMessageBox::Warning, blankCaption(), QStringLiteral("読めるかどうか"),
                        QMessageBox::Ok, &d);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        for (auto* w : box.findChildren<QWidget*>()) {
            QVERIFY2(!w->property("sonvolaMain").toBool(), qPrintable(w->objectName()));
        }
        QLabel* text = nullptr;
        for (auto* l : box.findChildren<QLabel*>()) {
            if (l->text() == QStringLiteral("読めるかどうか")) text = l;
        }
        QVERIFY(text);
        const double textContrast = contrastOf(text->grab().toImage());
        QVERIFY2(textContrast >= 4.5, qPrintable(QString::number(textContrast)));
        const double buttonContrast = contrastOf(box.button(QMessageBox::Ok)->grab().toImage());
        QVERIFY2(buttonContrast >= 4.5, qPrintable(QString::number(buttonContrast)));
    }

    // Both radio buttons show their circle, checked or not.
    void bothRadioButtonsShowACircle() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.show();
        for (Control id : {Control::Wave, Control::Midi}) {
            const QImage img = d.grab(d.control(id)->geometry()).toImage();
            int green = 0;
            for (int y = 0; y < img.height(); ++y) {
                for (int x = 0; x < std::min(img.width(), 14); ++x) {
                    const QColor c = img.pixelColor(x, y);
                    if (c.green() > 150 && c.red() < 100 && c.blue() < 100) ++green;
                }
            }
            QVERIFY2(green >= 8, qPrintable(controlName(id)));
        }
    }

    void tabOrderFollowsTheLayout() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        const QList<Control> expected = {
            Control::FileName,      Control::OpenFile,      Control::Play,
            Control::Pause,         Control::Stop,          Control::Wave,
            Control::Midi,          Control::FrameShift,    Control::FrameLength,
            Control::ZeroPadLength, Control::Window,        Control::Tempo,
            Control::ShortestNote,  Control::TimeSignature, Control::Program,
            Control::RunSpecScan,   Control::RunTrackJoin,  Control::RunNoteFind,
            Control::RunScoreToSmf, Control::PlotPeaks,     Control::PlotLinkedPeaks,
            Control::Load,          Control::Reset,         Control::Chmod,
            Control::Exit};
        std::map<QWidget*, Control> ids;
        for (Control id : expected) ids[d.control(id)] = id;
        QStringList seen, expectedNames;
        for (Control id : expected) expectedNames << controlName(id);
        QWidget* w = d.control(Control::FileName);
        for (int step = 0; step < 200 && seen.size() < expected.size(); ++step) {
            if (ids.count(w)) seen << controlName(ids[w]);
            w = w->nextInFocusChain();
        }
        QCOMPARE(seen, expectedNames);
    }

    void returnPressesTheFocusedButtonAndCloseAsks() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.show();
        d.edit(Control::Tempo)->setText(QStringLiteral("96 _tempo"));
        QTest::keyClick(button(d, Control::Reset), Qt::Key_Return);  // a key on the focused button
        QTRY_COMPARE(d.edit(Control::Tempo)->text(),
                     QStringLiteral("120 _tempo"));  // reset pressed
        // The title bar's close asks; "no" keeps the window.
        r.answerYes = false;
        QVERIFY(!d.close());
        QVERIFY(d.isVisible());
        QVERIFY(r.messages.last().endsWith(QStringLiteral("|question")));
        QCOMPARE(r.exitStatus, -1);
        r.answerYes = true;
        d.close();
        QCOMPARE(r.exitStatus, 1);
    }

    void positionShowsWhilePlaying() {
        test::FakeDevice device;
        test::FakeStarter starter;
        device.openable = {"/m/song.wav"};
        Recorded r;
        r.nextFile = "/m/song.wav";
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        QCOMPARE(d.positionText(), QString());  // nothing open
        button(d, Control::OpenFile)->click();
        button(d, Control::Play)->click();  // play
        device.position = 12345;
        device.duration = 65000;
        QCOMPARE(d.positionText(), QStringLiteral("▶ 0:12 / 1:05"));
        QTRY_COMPARE(d.findChild<QLabel*>(QStringLiteral("position"))->text(),
                     QStringLiteral("▶ 0:12 / 1:05"));
        button(d, Control::Pause)->click();  // pause
        QCOMPARE(d.positionText(), QStringLiteral("❚❚ 0:12 / 1:05"));
        button(d, Control::Stop)->click();  // stop
        QCOMPARE(d.positionText(), QStringLiteral("■ 0:12 / 1:05"));
    }

    void droppedFileIsOpened() {
        test::FakeDevice device;
        test::FakeStarter starter;
        device.openable = {"/m/dropped.wav", "/m/x.mid"};
        device.midiOnly = {"/m/x.mid"};
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.edit(Control::Tempo)->setText(QStringLiteral("96 _tempo"));
        // A drop hands the file to openPath (Qt delivers drops only during a
        // real drag, so the path is given here as the drop gives it).
        QVERIFY(d.acceptDrops());
        d.openPath(QStringLiteral("/m/dropped.wav"));
        QCOMPARE(d.edit(Control::FileName)->text(), QStringLiteral("/m/dropped.wav"));
        QVERIFY(d.playback().deviceOpen());
        QCOMPARE(d.edit(Control::Tempo)->text(), QStringLiteral("96 _tempo"));  // typed value kept
        d.openPath(QStringLiteral("/m/x.mid"));
        QVERIFY(static_cast<QRadioButton*>(d.control(Control::Midi))->isChecked());
        QCOMPARE(device.log.back(), std::string("open /m/x.mid midi"));
        QVERIFY(!d.windowIcon().isNull());
    }

    void controlRRunsAllStagesAfterTheChecks() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.show();
        QCOMPARE(d.runAllAction()->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_R));
        QVERIFY(d.actions().contains(d.runAllAction()));  // in the context menu too
        QSignalSpy started(&d.stageChain(), &StageChain::stageStarted);
        d.runAllAction()->trigger();  // nothing chosen yet
        QCOMPARE(r.messages.size(), 1);
        QVERIFY(r.messages[0].contains(QStringLiteral("ファイル名が空です")));
        device.openable = {"/m/song.wav"};
        r.nextFile = "/m/song.wav";
        button(d, Control::OpenFile)->click();
        d.edit(Control::TimeSignature)->setText(QStringLiteral("3/4"));  // not "3 / 4"
        d.runAllAction()->trigger();
        QCOMPARE(r.messages.size(), 2);
        QVERIFY(r.messages[1].contains(QStringLiteral("拍子「3/4」")));
        QVERIFY(!d.stageChain().isRunning());
        QCOMPARE(started.count(), 0);
        QVERIFY(starter.starts.empty());
    }

    // An English window where the locale is not Japanese (or SONVOLA_LANG=en),
    // with every text fitting as the Japanese ones do.
    void englishWhenTheLocaleIsNotJapanese() {
        QCOMPARE(chooseUiLanguage(nullptr, QLocale(QLocale::Japanese)), UiLanguage::Japanese);
        QCOMPARE(chooseUiLanguage("", QLocale(QLocale::English)), UiLanguage::English);
        QCOMPARE(chooseUiLanguage(nullptr, QLocale(QLocale::German)), UiLanguage::English);
        QCOMPARE(chooseUiLanguage("ja", QLocale(QLocale::English)), UiLanguage::Japanese);
        QCOMPARE(chooseUiLanguage("en", QLocale(QLocale::Japanese)), UiLanguage::English);
        QVERIFY(installUiLanguage(UiLanguage::English));
        {
            test::FakeDevice device;
            test::FakeStarter starter;
            Recorded r;
            MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
            d.show();
            QCOMPARE(button(d, Control::OpenFile)->text(), QStringLiteral("Open file"));
            QCOMPARE(button(d, Control::RunSpecScan)->text(),
                     QStringLiteral("(1) Analyse the sound"));
            QVERIFY(textsFit(d));
            button(d, Control::RunSpecScan)->click();  // the window-free messages too
            QCOMPARE(r.messages.last(),
                     QStringLiteral("Error|The file name is empty. Choose a recording with Open "
                                    "file.|owned"));
            // The stages' own words (their parameters) stay as they are.
            QCOMPARE(d.edit(Control::Window)->text(), QStringLiteral("ハミング窓"));
        }
        QVERIFY(installUiLanguage(UiLanguage::Japanese));
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        QCOMPARE(button(d, Control::OpenFile)->text(), QStringLiteral("ファイルを開く"));
    }

    // A recording the stages cannot read as it is (here 24 bits) is decoded
    // into the work folder, and everything works on that copy; what cannot be
    // decoded is said, and nothing changes.
    void recordingsAreDecodedIntoTheWorkFolder() {
        test::TempDir dir, work;
        std::string data;
        for (int i = 0; i < 22050; ++i) {
            const int v = static_cast<int>(4000000.0 * std::sin(i * 2.0 * M_PI * 440.0 / 22050.0));
            data += static_cast<char>(v & 0xFF);
            data += static_cast<char>((v >> 8) & 0xFF);
            data += static_cast<char>((v >> 16) & 0xFF);
        }
        const std::string deep = dir.file("deep.wav");
        test::writeFile(deep, test::makeWavBytes(data, {.sampleRate = 22050, .bits = 24}));
        const std::string copy = work.file("deep.wav");
        test::FakeDevice device;
        test::FakeStarter starter;
        device.openable = {copy};
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", work.path() + "/");
        d.openPath(QString::fromStdString(deep));
        QCOMPARE(d.edit(Control::FileName)->text(), QString::fromStdString(copy));
        QVERIFY(stagesReadAsIs(copy));
        QVERIFY(d.playback().deviceOpen());
        QVERIFY(r.messages.isEmpty());
        const std::string junk = dir.file("junk.mp3");
        test::writeFile(junk, std::string(200, 'x'));
        d.openPath(QString::fromStdString(junk));
        QCOMPARE(r.messages.size(), 1);
        QVERIFY(r.messages[0].contains(QString::fromStdString(junk)));
        QCOMPARE(d.edit(Control::FileName)->text(), QString::fromStdString(copy));  // unchanged
        QVERIFY(!test::fileExists(work.file("junk.mp3")));
    }

    void captionSizeAndControls() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        QCOMPARE(d.windowTitle(), QStringLiteral("Sonvola  ver1.40"));
        QCOMPARE(d.size(), QSize(473, 368));  // 315 x 245 dialog units
        QCOMPARE(button(d, Control::RunSpecScan)->text(), QStringLiteral("①音楽音解析"));
        QCOMPARE(button(d, Control::RunScoreToSmf)->text(), QStringLiteral("④1～3よりMIDIを生成"));
        QCOMPARE(button(d, Control::OpenFile)->geometry(),
                 QRect(165, 66, 108, 29));  // 110, 44, 72, 19
        QCOMPARE(d.edit(Control::FileName)->geometry(), QRect(11, 38, 447, 18));
        QVERIFY(qobject_cast<QRadioButton*>(d.control(Control::Wave))->isChecked());
        QVERIFY(!qobject_cast<QRadioButton*>(d.control(Control::Midi))->isChecked());
        QCOMPARE(d.palette().color(QPalette::Window), QColor(236, 233, 216));
        for (Control id :
             {Control::OpenFile, Control::Pause, Control::Stop, Control::Play, Control::RunSpecScan,
              Control::PlotPeaks, Control::Exit, Control::RunScoreToSmf, Control::Load,
              Control::Reset, Control::RunTrackJoin, Control::Chmod, Control::PlotLinkedPeaks,
              Control::RunNoteFind}) {
            QVERIFY2(button(d, id) && button(d, id)->isEnabled() && button(d, id)->isFlat(),
                     qPrintable(controlName(id)));
        }
    }

    void defaultsAndResetLeaveThePath() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        QCOMPARE(d.edit(Control::FrameShift)->text(), QStringLiteral("10 _msec"));
        QCOMPARE(d.edit(Control::Window)->text(), QStringLiteral("ハミング窓"));
        QCOMPARE(d.edit(Control::TimeSignature)->text(), QStringLiteral("4 / 4"));
        QCOMPARE(d.edit(Control::FileName)->text(), QString());
        d.edit(Control::FileName)->setText("/music/a.wav");
        d.edit(Control::Tempo)->setText("90");
        button(d, Control::Load)->click();   // load
        button(d, Control::Reset)->click();  // reset
        QCOMPARE(d.edit(Control::Tempo)->text(), QStringLiteral("120 _tempo"));
        QCOMPARE(d.edit(Control::FileName)->text(), QStringLiteral("/music/a.wav"));
        QCOMPARE(d.fields().fileName, std::string("/music/a.wav"));
    }

    void openingKeepsWhatWasTyped() {
        test::FakeDevice device;
        test::FakeStarter starter;
        device.openable = {"/m/song.wav"};
        Recorded r;
        r.nextFile = "/m/song.wav";
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.edit(Control::Tempo)->setText("96 _tempo");
        button(d, Control::OpenFile)->click();  // open: what was typed is taken over, not lost
        QCOMPARE(d.edit(Control::Tempo)->text(), QStringLiteral("96 _tempo"));
        QCOMPARE(d.fields().tempo, std::string("96 _tempo"));
        QCOMPARE(d.edit(Control::FileName)->text(), QStringLiteral("/m/song.wav"));
        // Switching WAVE/MIDI keeps typed values too (the MIDI file must exist).
        QTemporaryDir dir;
        const std::string wav = dir.filePath("song.wav").toStdString();
        // A WAV the stages read as it is (anything else would be decoded first).
        test::writeFile(wav, test::makeWav(std::vector<int16_t>(2205, 0), {.sampleRate = 22050}));
        QFile(dir.filePath("song.wav.mid")).open(QIODevice::WriteOnly);
        device.openable = {wav, wav + ".mid"};
        r.nextFile = QString::fromStdString(wav);
        button(d, Control::OpenFile)->click();
        d.edit(Control::ShortestNote)->setText("64 _分音符");
        static_cast<QRadioButton*>(d.control(Control::Midi))->click();
        QCOMPARE(d.fields().fileName, wav + ".mid");  // the switch happened
        QCOMPARE(d.edit(Control::ShortestNote)->text(), QStringLiteral("64 _分音符"));
        QCOMPARE(d.fields().shortestNote, std::string("64 _分音符"));
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
            button(d, Control::Chmod)->click();
            if (i == 3) QCOMPARE(d.backgroundImage().size(), QSize(1280, 960));
        }
        QCOMPARE(d.backgroundIndex(), 0);
        QCOMPARE(d.backgroundImage(), first);
        QCOMPARE(seen.size(), 7);  // seven different pictures
        // On a screen of 2 device pixels per pixel the picture is drawn with
        // twice the pixels over the same layout, not blown up.
        const QImage sharp = backgroundPicture(0, 2.0);
        QCOMPARE(sharp.size(), QSize(2000, 1500));
        QCOMPARE(sharp.devicePixelRatio(), 2.0);
        const QImage plain = backgroundPicture(0);
        const QColor a = plain.pixelColor(500, 300), b = sharp.pixelColor(1000, 600);
        QVERIFY(std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                    std::abs(a.blue() - b.blue()) <
                30);
    }

    void enterAndEscapeDoNotClose() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        d.edit(Control::Tempo)->setFocus();
        QTest::keyClick(d.edit(Control::Tempo), Qt::Key_Return);
        QTest::keyClick(d.edit(Control::Tempo), Qt::Key_Escape);
        QTest::keyClick(&d, Qt::Key_Enter);
        QVERIFY(d.isVisible());
        QCOMPARE(d.result(), 0);
        QCOMPARE(d.edit(Control::Tempo)->text(), QStringLiteral("120 _tempo"));
    }

    void exitAsksAndEndsWithStatusOne() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        button(d, Control::Exit)->click();
        QCOMPARE(r.messages.last(),
                 QStringLiteral("終了|アプリケーションを終了しますか？|question"));
        QCOMPARE(r.exitStatus, -1);
        r.answerYes = true;
        button(d, Control::Exit)->click();
        QCOMPARE(r.exitStatus, 1);
    }

    void playWithEmptyFieldShowsTheOwnerlessMessage() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        button(d, Control::Play)->click();
        // A caption that shows nothing, and a message that says what to do.
        QCOMPARE(r.messages,
                 QStringList{QStringLiteral(
                     " |ファイル名がありません。ファイルを開くで選んでください。|ownerless")});
    }

    void failingStopShowsTheOwnedErrorAndEnds() {
        test::FakeDevice device;
        test::FakeStarter starter;
        device.openable = {"/m/song.wav"};
        Recorded r;
        r.nextFile = "/m/song.wav";
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        d.show();
        button(d, Control::OpenFile)->click();
        device.failStop = true;
        button(d, Control::Stop)->click();
        QCOMPARE(r.messages.last(), QStringLiteral("エラー|stop failed|owned"));
        QVERIFY(!d.isVisible());
        QCOMPARE(d.result(), int(QDialog::Rejected));
    }

    void radioSwitchesWithAndWithoutTheMidiFile() {
        test::TempDir dir;
        const std::string wav = dir.file("song.wav");
        test::writeFile(wav, test::makeWav(std::vector<int16_t>(2205, 0), {.sampleRate = 22050}));
        test::FakeDevice device;
        test::FakeStarter starter;
        device.openable = {wav, wav + ".mid"};
        device.midiOnly = {wav + ".mid"};
        Recorded r;
        r.nextFile = QString::fromStdString(wav);
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        button(d, Control::OpenFile)->click();
        auto* midi = qobject_cast<QRadioButton*>(d.control(Control::Midi));
        midi->click();  // no song.wav.mid yet: nothing changes
        QCOMPARE(d.edit(Control::FileName)->text(), QString::fromStdString(wav));
        QVERIFY(d.playback().deviceOpen());
        test::writeFile(wav + ".mid", "MThd");
        qobject_cast<QRadioButton*>(d.control(Control::Wave))->click();
        midi->click();
        QCOMPARE(d.edit(Control::FileName)->text(), QString::fromStdString(wav + ".mid"));
        QCOMPARE(QString::fromStdString(device.log.back()),
                 QString::fromStdString("open " + wav + ".mid midi"));
        qobject_cast<QRadioButton*>(d.control(Control::Wave))->click();
        QCOMPARE(d.edit(Control::FileName)->text(), QString::fromStdString(wav));
    }

    void plotButtonsOpenTheirWindows() {
        test::FakeDevice device;
        test::FakeStarter starter;
        Recorded r;
        MainDialog d(device, starter, recordingHooks(r), "/nonexistent/", "/nonexistent/");
        button(d, Control::PlotPeaks)->click();
        button(d, Control::PlotLinkedPeaks)->click();
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
        const Result<uint32_t> opened = device.open(wav, MediaKind::Wave);
        QVERIFY(opened.ok());
        const uint32_t id = *opened;
        QVERIFY(device.play(id, true).ok());
        QVERIFY(device.playing());
        QTest::qWait(60);
        QVERIFY(device.stop(id).ok());
        const int64_t at = device.positionMs();
        QVERIFY(at >= 40);
        QVERIFY(device.play(id, false).ok());  // resume keeps the position
        QVERIFY(device.positionMs() >= at);
        QVERIFY(device.close(id).ok());
        const Status closed = device.stop(id);  // a closed device does not answer
        QVERIFY(!closed.ok());
        QVERIFY(!closed.message().empty());
        QVERIFY(!device.open(dir.file("missing.wav"), MediaKind::Wave).ok());
        const Result<uint32_t> asMidi = device.open(wav, MediaKind::Midi);  // a WAV is no MIDI file
        QVERIFY(!asMidi.ok());
        QVERIFY(!asMidi.message().empty());
    }

    void playbackReadsSamplesAsTheStagesDo() {
        test::TempDir dir;
        // 8-bit samples become u * 257 - 32768, as the analysis reads them:
        // both ends of the byte range reach both ends of the 16-bit range.
        test::WavOptions eight{.sampleRate = 11025, .channels = 2, .bits = 8};
        eight.listChunkBeforeData = true;
        test::writeFile(dir.file("8.wav"),
                        test::makeWavBytes(std::string("\x00\x80\xff\x81", 4), eight));
        Result<PcmData> pcm = readWavPcm(dir.file("8.wav"));
        QVERIFY(pcm.ok());
        QCOMPARE(pcm->channels, 2);
        QCOMPARE(pcm->sampleRate, 11025);
        QCOMPARE(pcm->samples, (std::vector<int16_t>{-32768, 128, 32767, 385}));
        // 16-bit ones as they are; a data chunk longer than the file gives
        // what the file holds.
        test::WavOptions cut{.sampleRate = 8000};
        cut.dataSizeOverride = 1000;
        test::writeFile(dir.file("16.wav"), test::makeWav({-5, 7, 32767}, cut));
        pcm = readWavPcm(dir.file("16.wav"));
        QVERIFY(pcm.ok());
        QCOMPARE(pcm->samples, (std::vector<int16_t>{-5, 7, 32767}));
        // Refusals, each with its reason.
        test::writeFile(dir.file("24.wav"),
                        test::makeWavBytes(std::string(6, '\0'), {.sampleRate = 8000, .bits = 24}));
        test::writeFile(dir.file("text.wav"), "not a recording");
        std::string reasons;
        for (const char* name : {"missing.wav", "text.wav", "24.wav"}) {
            pcm = readWavPcm(dir.file(name));
            QVERIFY(!pcm.ok());
            const std::string& error = pcm.message();
            QVERIFY(!error.empty());
            QVERIFY(reasons.find(error) == std::string::npos);
            reasons += error + "\n";
        }
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
        const Status loaded = renderer.load(dir.file("a.mid"), font);
        QVERIFY2(loaded.ok(), loaded.message().c_str());
        std::vector<int16_t> samples(44100 * 2);
        size_t frames = 0, got = 0;
        while (frames + 1024 <= 44100 &&
               (got = renderer.render(samples.data() + frames * 2, 1024)) > 0) {
            frames += got;
        }
        int peak = 0;
        for (size_t i = 0; i < frames * 2; ++i) peak = std::max(peak, std::abs(int(samples[i])));
        QVERIFY2(peak > 500, qPrintable(QString("peak %1").arg(peak)));
        QVERIFY(!renderer.load(dir.file("missing.mid"), font).ok());
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
