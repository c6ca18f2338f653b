// The four stage buttons for real, offscreen: a generated recording opened
// through the real media device, each stage in its console window, RETURN
// answered there, and the score and MIDI file checked at the end.
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>
#include <cstdlib>

#include "common/midifile.h"
#include "frontend/qt/consolewindow.h"
#include "frontend/qt/maindialog.h"
#include "frontend/qt/mediadevice.h"
#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"

using namespace sonvola;

class PipelineGuiTest : public QObject {
    Q_OBJECT
  private slots:
    void decoderKeepsSplitCharactersAndFallsBackToShiftJis() {
        ConsoleDecoder d;
        const QByteArray text = QStringLiteral("窓の種類").toUtf8();
        QString out = d.decode(text.left(4));  // a character cut in two
        out += d.decode(text.mid(4));
        QCOMPARE(out, QStringLiteral("窓の種類"));
        ConsoleDecoder s;
        const QString sjis = s.decode(QByteArray("\x91\x8B", 2));  // 窓 in Shift_JIS
        QCOMPARE(sjis, QStringLiteral("窓"));
    }

    void fourButtonsMakeTheMidiFile() {
        test::TempDir dir, work;
        qputenv("SONVOLA_WORKDIR", work.path().c_str());
        const std::string wav = dir.file("my song.wav");
        test::writeFile(
            wav, test::makeWav(
                     test::synthNotes({{0.1, 0.6, 69, 12000}, {0.8, 0.6, 72, 12000}}, 1.5, 22050),
                     {.sampleRate = 22050}));
        PcmMediaDevice device;
        InProcessConsoleStarter starter;  // the consoles are answered and read here
        DialogHooks hooks = defaultDialogHooks();
        QStringList messages;
        hooks.message = [&](QWidget*, const QString&, const QString& text, QMessageBox::Icon) {
            messages << text;
        };
        hooks.openFileName = [&](QWidget*, const QString&, const QString&, const QString&) {
            return QString::fromStdString(wav);
        };
        MainDialog d(device, starter, hooks, std::string(SONVOLA_BIN_DIR) + "/", work.path() + "/");
        d.show();
        auto press = [&](Control id) { qobject_cast<QPushButton*>(d.control(id))->click(); };

        press(Control::RunSpecScan);  // no recording chosen yet: the message says what to do
        QCOMPARE(messages, QStringList{QStringLiteral(
                               "ファイル名が空です。ファイルを開くで録音を選んでください。")});
        press(Control::OpenFile);  // open file
        QVERIFY(d.playback().deviceOpen());

        int expectedWindows = 0;
        for (Control id : {Control::RunSpecScan, Control::RunTrackJoin, Control::RunNoteFind,
                           Control::RunScoreToSmf}) {
            press(id);
            ++expectedWindows;
            QCOMPARE(int(starter.windows().size()), expectedWindows);
            ConsoleWindow* console = starter.windows().back();
            QVERIFY(console);
            QTRY_VERIFY_WITH_TIMEOUT(console->text().contains("Please enter RETURN KEY."), 30000);
            console->sendLine(QString());
            QTRY_VERIFY_WITH_TIMEOUT(console->finished(), 10000);
            QCOMPARE(console->exitCode(), 0);
            QVERIFY(console->text().contains(QStringLiteral("終了コード 0")));
        }
        QVERIFY2(messages.size() == 1, qPrintable(messages.join("\n")));
        Result<MidiFile> parsed = parseMidiFile(wav + ".mid");
        QVERIFY2(parsed, parsed.message().c_str());
        const MidiFile& midi = *parsed;
        bool a4 = false;
        for (const auto& n : midiNotes(midi)) a4 = a4 || n.key == 69;
        QVERIFY(a4);
        QVERIFY(test::readFile(wav + ".txt").find(" a-3 ") != std::string::npos);

        // With the MIDI file selected for playback, converting again is refused.
        qobject_cast<QRadioButton*>(d.control(Control::Midi))->click();
        QCOMPARE(d.edit(Control::FileName)->text(), QString::fromStdString(wav + ".mid"));
        press(Control::RunScoreToSmf);
        QCOMPARE(messages.last(),
                 QStringLiteral("err: デバイスが MIDI を参照しているため変換できません．"));
        for (auto& w : starter.windows()) {
            if (w) w->close();
        }
        qunsetenv("SONVOLA_WORKDIR");
    }
};

QTEST_MAIN(PipelineGuiTest)
#include "pipeline_gui_test.moc"
