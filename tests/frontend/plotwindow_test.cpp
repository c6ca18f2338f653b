// The plot windows offscreen, and sonvola-plot drawing the same picture.
#include "frontend/qt/plotwindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

#include "frontend/core/launcher.h"
#include "frontend/core/pianoroll.h"
#include "frontend/qt/imagecanvas.h"
#include "tests/support/contrast.h"
#include "tests/support/peaktables.h"
#include "tests/support/process.h"
#include "tests/support/tempdir.h"

using namespace sonvola;

namespace {

std::string peakList() {
    std::vector<test::RecordRows> recs;
    for (int i = 1; i <= 300; ++i) {
        recs.push_back({i * 10, {{440.0f, -3.0f - static_cast<float>(i % 60)}, {880.0f, -40.0f}}});
    }
    return test::peakFileText(-3, -63, 10, 300, "a.wav", recs);
}

// Hooks that record every message instead of showing it.
struct Said {
    QStringList texts;
    QList<QWidget*> owners;
    PlotHooks hooks() {
        PlotHooks h = defaultPlotHooks();
        h.message = [this](QWidget* owner, const QString& t) {
            owners << owner;
            texts << t;
        };
        return h;
    }
};

std::string score(const std::string& notes) {
    return "tracks 2\n\ntrack{\n0   tempo 120\n0   rhythm 4 / 4\n}\n\ntrack{\n0   tone 1\n" +
           notes + "}\n";
}

// B5 from 0 to 0.5 s at velocity 127, C4 from 1 s to 2 s at 64.
const char* kTwoNotes = "0   b-4 127\n500   b-4 0\n500   c-3 64\n1000   c-3 0\n";

// The extent of the dark pixels of `image` within `area`.
QRect ink(const QImage& image, const QRect& area) {
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            if (image.pixelColor(x, y).lightness() < 128) box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

void deleteClosedWindows() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

class PlotWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void captionsAndButtons() {
        PlotWindow one(PlotKind::Peaks, "/nonexistent/", defaultPlotHooks());
        QCOMPARE(one.windowTitle(),
                 QStringLiteral("1. プロット（抽出したスペクトルピークを表示）"));
        QVERIFY(one.button("Re-drawing") && one.button("4") && one.button("1"));
        QVERIFY(!one.button("0"));
        PlotWindow two(PlotKind::LinkedPeaks, "/nonexistent/", defaultPlotHooks());
        QCOMPARE(two.windowTitle(),
                 QStringLiteral("2. プロット（接続したスペクトルピークを表示）"));
        QVERIFY(two.button("0"));
        QCOMPARE(two.mode(), 0);
        // The buttons are readable on the window's light background.
        two.show();
        QVERIFY(QTest::qWaitForWindowExposed(&two));
        for (const char* text : {"Re-drawing", "0", "4"}) {
            const double contrast = test::contrastOf(two.button(text)->grab().toImage());
            QVERIFY2(contrast >= 4.5, qPrintable(QStringLiteral("%1: %2").arg(text).arg(contrast)));
        }
    }

    void missingFileGivesTheOpenErrorAndDrawsNothing() {
        QStringList messages;
        QList<QWidget*> owners;
        PlotHooks hooks = defaultPlotHooks();
        hooks.message = [&](QWidget* owner, const QString& t) {
            owners << owner;
            messages << t;
        };
        PlotWindow w(PlotKind::Peaks, "/nonexistent/", hooks);
        QVERIFY(messages.isEmpty());  // opening says nothing: the window tells
        const QImage before = w.picture();
        w.button("3")->click();
        QCOMPARE(messages, QStringList{QStringLiteral("オープンエラー: /nonexistent/SpecScan.txt\n"
                                                      "No such file or directory")});
        QCOMPARE(owners, QList<QWidget*>{&w});
        QCOMPARE(w.picture(), before);
        QVERIFY(!w.drawn());
    }

    void windowAndCommandLineDrawTheSamePicture() {
        test::TempDir dir;
        test::writeFile(dir.file("SpecScan.txt"), peakList());
        PlotWindow w(PlotKind::Peaks, dir.path() + "/", defaultPlotHooks());
        w.button("2")->click();
        QCOMPARE(w.mode(), 2);
        // Record 60 peaks at -3 dB (v = 1024): yellow.
        QCOMPARE(w.picture().pixelColor(997 * 60 / 300 + 81, 527), QColor(255, 255, 0));
        QVERIFY(w.picture().pixelColor(80, 300) == QColor(Qt::black));  // the frame
        test::ProcessOptions o;
        o.env["SONVOLA_WORKDIR"] = dir.path();
        test::ProcessResult r = test::runProcess(
            test::binPath("sonvola-plot"), {"sonvola-plot", "--mode", "2", dir.file("cli.png")}, o);
        QCOMPARE(r.exitCode, 0);
        QImage cli(QString::fromStdString(dir.file("cli.png")));
        QCOMPARE(cli.convertToFormat(QImage::Format_RGB32),
                 w.picture().convertToFormat(QImage::Format_RGB32));

        // Saving writes the same picture.
        PlotHooks hooks = defaultPlotHooks();
        QString offered;
        hooks.saveFileName = [&](QWidget*, const QString& suggested) {
            offered = suggested;
            return QString::fromStdString(dir.file("saved.png"));
        };
        PlotWindow s(PlotKind::Peaks, dir.path() + "/", hooks);
        s.button("2")->click();
        s.button("save picture")->click();
        QCOMPARE(offered, QStringLiteral("plot.png"));
        QCOMPARE(QImage(QString::fromStdString(dir.file("saved.png")))
                     .convertToFormat(QImage::Format_RGB32),
                 cli.convertToFormat(QImage::Format_RGB32));
    }

    void modesChangeWhatIsDrawn() {
        test::TempDir dir;
        test::writeFile(dir.file("SpecScan.txt"), peakList());
        PlotWindow w(PlotKind::Peaks, dir.path() + "/", defaultPlotHooks());
        auto coloured = [&] {
            int n = 0;
            for (int x = 81; x < 1081; ++x) {
                const QColor c = w.picture().pixelColor(x, 527);
                n += c != Qt::white && c != Qt::black;
            }
            return n;
        };
        w.button("1")->click();
        const int all = coloured();
        w.button("4")->click();
        QVERIFY(coloured() < all);
        QVERIFY(coloured() > 0);
    }

    void commandLineRefusals() {
        test::ProcessResult bad = test::runProcess(test::binPath("sonvola-plot"),
                                                   {"sonvola-plot", "--mode", "7", "x.png"});
        QCOMPARE(bad.exitCode, 2);
        test::ProcessResult none =
            test::runProcess(test::binPath("sonvola-plot"),
                             {"sonvola-plot", "--input", "/nonexistent/x.txt", "/tmp/x.png"});
        QCOMPARE(none.exitCode, 1);
        QVERIFY(none.err.find("オープンエラー: /nonexistent/x.txt\nNo such file or directory") !=
                std::string::npos);
    }

    // The windows as the main window uses them, and what they draw.

    void drawsAtOnceWhenOpened() {
        test::TempDir dir;
        test::writeFile(dir.file("SpecScan.txt"), peakList());
        Said said;
        PlotWindow w(PlotKind::Peaks, dir.path() + "/", said.hooks());
        QVERIFY(w.drawn());
        QVERIFY(w.notice().isEmpty());
        QVERIFY(said.texts.isEmpty());
        // Mode 0 draws like mode 1: every band. Record 60 peaks at -3 dB.
        QCOMPARE(w.picture().pixelColor(997 * 60 / 300 + 81, 527), QColor(255, 255, 0));
        // What the window shows is that picture.
        const QLabel* area = w.findChild<QScrollArea*>()->findChild<QLabel*>();
        QVERIFY(area);
        QCOMPARE(area->pixmap().toImage().convertToFormat(QImage::Format_RGB32),
                 w.picture().convertToFormat(QImage::Format_RGB32));
        const QImage first = w.picture();
        w.button("Re-drawing")->click();
        QCOMPARE(w.picture(), first);
    }

    void openShowsAModelessWindowOfItsOwn() {
        test::TempDir dir;
        test::writeFile(dir.file("TrackJoin.txt"), peakList());
        Said said;
        QWidget owner;
        owner.show();
        QPointer<PlotWindow> w =
            PlotWindow::open(PlotKind::LinkedPeaks, dir.path() + "/", said.hooks(), &owner);
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(w->isWindow());
        QVERIFY(!w->isModal());
        QCOMPARE(w->windowModality(), Qt::NonModal);
        QVERIFY(w->drawn());
        QVERIFY(QApplication::activeModalWidget() == nullptr);  // the owner stays usable
        // A second one beside it, each with its own mode.
        QPointer<PlotWindow> second =
            PlotWindow::open(PlotKind::LinkedPeaks, dir.path() + "/", said.hooks(), &owner);
        QVERIFY(second && second != w);
        second->button("4")->click();
        QCOMPARE(second->mode(), 4);
        QCOMPARE(w->mode(), 0);
        w->close();
        second->close();
        deleteClosedWindows();
        QVERIFY(w.isNull());
        QVERIFY(second.isNull());
        QVERIFY(said.texts.isEmpty());
    }

    void missingDataIsSaidBeforeOpening() {
        // The stage buttons' words: which step to run first.
        QCOMPARE(PlotWindow::missingDataMessage(PlotKind::Peaks, "/nonexistent/"),
                 QString::fromUtf8(kNoSpecScanMessage));
        QCOMPARE(PlotWindow::missingDataMessage(PlotKind::LinkedPeaks, "/nonexistent/"),
                 QString::fromUtf8(kNoTrackJoinMessage));
        test::TempDir dir;
        test::writeFile(dir.file("SpecScan.txt"), peakList());
        const std::string work = dir.path() + "/";
        QVERIFY(PlotWindow::dataExists(PlotKind::Peaks, work));
        QVERIFY(!PlotWindow::dataExists(PlotKind::LinkedPeaks, work));
        QVERIFY(PlotWindow::missingDataMessage(PlotKind::Peaks, work).isEmpty());

        Said said;
        QWidget owner;
        QVERIFY(PlotWindow::open(PlotKind::LinkedPeaks, work, said.hooks(), &owner) == nullptr);
        QCOMPARE(said.texts,
                 QStringList{PlotWindow::missingDataMessage(PlotKind::LinkedPeaks, work)});
        QCOMPARE(said.owners, QList<QWidget*>{&owner});
        QVERIFY(owner.findChildren<PlotWindow*>().isEmpty());

        // Made all the same, the window says it where the picture goes.
        PlotWindow w(PlotKind::LinkedPeaks, work, said.hooks());
        QVERIFY(!w.drawn());
        QCOMPARE(w.notice(), PlotWindow::missingDataMessage(PlotKind::LinkedPeaks, work));
        QVERIFY(!w.button("save picture")->isEnabled());
        PlotWindow drawn(PlotKind::Peaks, work, said.hooks());
        QVERIFY(drawn.button("save picture")->isEnabled());
    }

    void theWholePictureAndTheButtonsFitWithoutScrollBars() {
        test::TempDir dir;
        test::writeFile(dir.file("SpecScan.txt"), peakList());
        Said said;
        PlotWindow w(PlotKind::Peaks, dir.path() + "/", said.hooks());
        // Opened at its full size, unless the screen is smaller.
        QCOMPARE(w.size(), w.sizeHint().boundedTo(w.screen()->availableGeometry().size()));
        w.resize(w.sizeHint());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* view = w.findChild<QScrollArea*>();
        QVERIFY(view);
        QVERIFY(!view->horizontalScrollBar()->isVisible());
        QVERIFY(!view->verticalScrollBar()->isVisible());
        QVERIFY(view->viewport()->width() >= kPlotWidth);
        QVERIFY(view->viewport()->height() >= kPlotHeight);
        for (const char* name : {"Re-drawing", "1", "save picture"}) {
            QPushButton* b = w.button(name);
            const QRect inWindow(b->mapTo(&w, QPoint(0, 0)), b->size());
            QVERIFY2(w.rect().contains(inWindow), name);
            QVERIFY2(!inWindow.intersects(QRect(view->mapTo(&w, QPoint(0, 0)), view->size())),
                     name);
        }
    }

    void theMessageHasABlankCaptionAndHoldsOnlyItsWindow() {
        QWidget owner;
        owner.show();
        defaultPlotHooks().message(&owner,
                                   QStringLiteral("オープンエラー: /x/SpecScan.txt\nNo such file"));
        // Back at once, the box still open.
        auto* box = owner.findChild<QMessageBox*>();
        QVERIFY(box);
        QVERIFY(box->isVisible());
        QCOMPARE(box->windowTitle(), QStringLiteral(" "));
        QCOMPARE(box->windowModality(), Qt::WindowModal);
        QCOMPARE(box->text(), QStringLiteral("オープンエラー: /x/SpecScan.txt\nNo such file"));
        QPointer<QMessageBox> gone(box);
        box->accept();
        deleteClosedWindows();
        QVERIFY(gone.isNull());
    }

    void tickNumbersAreReadableWithTheFrontEndsFont() {
        // The front end's font is a CJK font with wide average characters,
        // which once squeezed the numbers to a few pixels.
        const QFont before = QApplication::font();
        QFont cjk(QStringLiteral("Noto Sans CJK JP"));
        cjk.setFamilies({QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAGothic")});
        cjk.setPointSize(9);
        QApplication::setFont(cjk);
        test::TempDir dir;
        test::writeFile(dir.file("SpecScan.txt"), peakList());
        Said said;
        PlotWindow w(PlotKind::Peaks, dir.path() + "/", said.hooks());
        QApplication::setFont(before);
        QVERIFY(w.drawn());
        // "5" in its cell at (65, 57), beside the 5 kHz line at row 72.
        const QRect five = ink(w.picture(), QRect(60, 50, 20, 50));
        QVERIFY2(five.width() >= 5 && five.width() <= 10,
                 qPrintable(QString::number(five.width())));
        QVERIFY2(five.height() >= 7 && five.height() <= 32,
                 qPrintable(QString::number(five.height())));
        QVERIFY(std::abs(five.center().y() - 72) <= 4);
        QVERIFY(five.left() >= 65);
        // "2" under the tick of 2 s at column 747, in its cell from (742, 572).
        const QRect two = ink(w.picture(), QRect(735, 572, 25, 33));
        QVERIFY2(two.width() >= 5 && two.width() <= 10, qPrintable(QString::number(two.width())));
        QVERIFY(two.height() >= 7);
        QVERIFY(two.left() >= 742);
    }

    void theColourKeyIsInThePicture() {
        test::TempDir dir;
        test::writeFile(dir.file("SpecScan.txt"), peakList());
        Said said;
        PlotWindow w(PlotKind::Peaks, dir.path() + "/", said.hooks());
        const QImage& p = w.picture();
        const int y = kLegendTop + kLegendHeight / 2;
        QCOMPARE(p.pixelColor(kLegendLeft, y), QColor(0, 0, 255));          // blue: quiet
        QCOMPARE(p.pixelColor(kLegendLeft + 64, y), QColor(0, 255, 255));   // cyan
        QCOMPARE(p.pixelColor(kLegendLeft + 128, y), QColor(0, 255, 0));    // green
        QCOMPARE(p.pixelColor(kLegendLeft + 192, y), QColor(255, 255, 0));  // yellow
        QCOMPARE(p.pixelColor(kLegendLeft + 255, y), QColor(255, 3, 0));    // red: loud
        QCOMPARE(p.pixelColor(kLegendLeft - 1, y), QColor(Qt::black));      // outline
        // The dB under the strip, left of "Time [sec]"'s end nothing new.
        QVERIFY(!ink(p, QRect(kLegendLeft - 10, kLegendTop + kLegendHeight + 4, 30, 14)).isEmpty());
    }

    void notesWindowDrawsTheScoreAtOnceAndThePeaksOnRequest() {
        test::TempDir dir;
        test::writeFile(dir.file("a.wav.txt"), score(kTwoNotes));
        test::writeFile(dir.file("SpecScan.txt"), peakList());
        Said said;
        NotesWindow w(dir.file("a.wav.txt"), dir.file("SpecScan.txt"), said.hooks());
        QVERIFY(w.drawn());
        QVERIFY(said.texts.isEmpty());
        QVERIFY(w.windowTitle().endsWith(QStringLiteral("a.wav.txt")));
        QCOMPARE(w.picture().pixelColor(700, 560), QColor(0, 255, 0));  // C4 at 64
        QCOMPARE(w.picture().pixelColor(200, 30), QColor(255, 7, 0));   // B5 at 127
        QCOMPARE(w.picture().pixelColor(581, 560), QColor(Qt::black));  // its outline
        QVERIFY(!w.showsPeaks());
        const QImage notesOnly = w.picture();

        w.peaksBox()->setChecked(true);
        QVERIFY(w.showsPeaks());
        QVERIFY(w.picture() != notesOnly);
        const Result<RollScore> s = readRollScore(score(kTwoNotes));
        QVERIFY(s.ok());
        const RollLayout l = rollLayout(*s, 3010);  // the peaks last 3.01 s
        const int y = rollFrequencyRow(880.0, l);   // the steady -40 dB peaks at 880 Hz
        QVERIFY(y > 0);
        const Rgb dot = levelColour(levelValue(-40.0, -63.0, -3.0));  // cyan-green
        QCOMPARE(w.picture().pixelColor(rollColumn(2500, l), y), QColor(dot.r, dot.g, dot.b));

        // sonvola-plot --notes draws the same pictures.
        test::ProcessResult r =
            test::runProcess(test::binPath("sonvola-plot"),
                             {"sonvola-plot", "--notes", dir.file("a.wav.txt"), "--input",
                              dir.file("SpecScan.txt"), dir.file("n.png")});
        QCOMPARE(r.exitCode, 0);
        QImage cli(QString::fromStdString(dir.file("n.png")));
        QCOMPARE(cli.size(), QSize(kPlotWidth, kPlotHeight));
        QCOMPARE(cli.convertToFormat(QImage::Format_RGB32),
                 w.picture().convertToFormat(QImage::Format_RGB32));
        r = test::runProcess(test::binPath("sonvola-plot"),
                             {"sonvola-plot", "--notes", dir.file("a.wav.txt"), dir.file("m.png")});
        QCOMPARE(r.exitCode, 0);
        QImage plain(QString::fromStdString(dir.file("m.png")));
        QCOMPARE(plain.size(), QSize(kPlotWidth, kPlotHeight));
        QCOMPARE(plain.convertToFormat(QImage::Format_RGB32),
                 notesOnly.convertToFormat(QImage::Format_RGB32));
        // To standard output.
        r = test::runProcess(test::binPath("sonvola-plot"),
                             {"sonvola-plot", "--notes", dir.file("a.wav.txt"), "-"});
        QCOMPARE(r.exitCode, 0);
        QVERIFY(r.out.rfind("\x89PNG", 0) == 0);
    }

    void notesWindowSaysWhatIsWrongWithTheScore() {
        test::TempDir dir;
        test::writeFile(dir.file("a.wav.txt"), "tracks 1\ntrack{\n0   zz 1\n}\n");
        Said said;
        NotesWindow w(dir.file("a.wav.txt"), "", said.hooks());
        QVERIFY(!w.drawn());
        const QString expected = QStringLiteral("楽譜を読めません: %1\nline 3: \"zz\" is neither")
                                     .arg(QString::fromStdString(dir.file("a.wav.txt")));
        QVERIFY2(w.notice().startsWith(expected), qPrintable(w.notice()));
        QVERIFY(!w.peaksBox()->isEnabled());  // no peak list offered
        w.button("Re-drawing")->click();
        QCOMPARE(said.texts.size(), 1);
        QVERIFY(said.texts[0].startsWith(expected));
        QCOMPARE(said.owners, QList<QWidget*>{&w});
        // Mended, it draws.
        test::writeFile(dir.file("a.wav.txt"), score(kTwoNotes));
        w.button("Re-drawing")->click();
        QVERIFY(w.drawn());
        QCOMPARE(said.texts.size(), 1);
    }

    void notesWindowWithoutAScoreOrPeaks() {
        test::TempDir dir;
        const std::string path = dir.file("none.wav.txt");
        QCOMPARE(NotesWindow::missingDataMessage(path),
                 QString::fromStdString(noScoreMessage(path)));
        QVERIFY(!NotesWindow::dataExists(path));
        Said said;
        QWidget owner;
        QVERIFY(NotesWindow::open(path, dir.path() + "/", said.hooks(), &owner) == nullptr);
        QCOMPARE(said.texts, QStringList{NotesWindow::missingDataMessage(path)});

        // With a score but no SpecScan.txt: the notes, and the peaks' open error.
        test::writeFile(dir.file("a.wav.txt"), score(kTwoNotes));
        QPointer<NotesWindow> w =
            NotesWindow::open(dir.file("a.wav.txt"), dir.path() + "/", said.hooks(), &owner);
        QVERIFY(w);
        QVERIFY(w->isVisible());
        QVERIFY(!w->isModal());
        QVERIFY(w->drawn());
        QCOMPARE(w->scorePath(), dir.file("a.wav.txt"));
        said.texts.clear();
        w->peaksBox()->setChecked(true);
        QCOMPARE(said.texts,
                 QStringList{QStringLiteral("オープンエラー: %1\nNo such file or directory")
                                 .arg(QString::fromStdString(dir.file("SpecScan.txt")))});
        QVERIFY(!w->showsPeaks());
        QCOMPARE(w->picture().pixelColor(700, 560), QColor(0, 255, 0));
        w->close();
        deleteClosedWindows();
        QVERIFY(w.isNull());
    }

    void commandLineNotesRefusals() {
        test::TempDir dir;
        test::writeFile(dir.file("bad.txt"), "tracks 1 track{ 0 a-3 -1 }");
        test::ProcessResult mixed = test::runProcess(
            test::binPath("sonvola-plot"),
            {"sonvola-plot", "--notes", dir.file("bad.txt"), "--mode", "2", dir.file("x.png")});
        QCOMPARE(mixed.exitCode, 2);
        test::ProcessResult broken =
            test::runProcess(test::binPath("sonvola-plot"),
                             {"sonvola-plot", "--notes", dir.file("bad.txt"), dir.file("x.png")});
        QCOMPARE(broken.exitCode, 1);
        QVERIFY(broken.err.find(dir.file("bad.txt") + ": line 1: the velocity \"-1\"") !=
                std::string::npos);
        QVERIFY(!test::fileExists(dir.file("x.png")));
        test::ProcessResult none =
            test::runProcess(test::binPath("sonvola-plot"),
                             {"sonvola-plot", "--notes", dir.file("none.txt"), dir.file("x.png")});
        QCOMPARE(none.exitCode, 1);
        QVERIFY(none.err.find("オープンエラー: " + dir.file("none.txt")) != std::string::npos);
        QVERIFY(!test::fileExists(dir.file("x.png")));
    }
};

QTEST_MAIN(PlotWindowTest)
#include "plotwindow_test.moc"
