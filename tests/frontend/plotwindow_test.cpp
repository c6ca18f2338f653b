// The plot windows offscreen, and sonvola-plot drawing the same picture.
#include "frontend/qt/plotwindow.h"

#include <QPushButton>
#include <QtTest>

#include "tests/support/peaktables.h"
#include "tests/support/process.h"
#include "tests/support/tempdir.h"

using namespace sonvola;

namespace {

std::string peakList() {
    std::vector<test::RecordSpec> recs;
    for (int i = 1; i <= 300; ++i) {
        recs.push_back({i * 10, {{440.0f, -3.0f - static_cast<float>(i % 60)}, {880.0f, -40.0f}}});
    }
    return test::peakFileText(-3, -63, 10, 300, "a.wav", recs);
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
    }

    void missingFileGivesTheOpenErrorAndDrawsNothing() {
        QStringList messages;
        PlotHooks hooks = defaultPlotHooks();
        hooks.message = [&](const QString& t) { messages << t; };
        PlotWindow w(PlotKind::Peaks, "/nonexistent/", hooks);
        const QImage before = w.picture();
        w.button("3")->click();
        QCOMPARE(messages,
                 QStringList{QStringLiteral("オープンエラー: /nonexistent/SpecScan.txt")});
        QCOMPARE(w.picture(), before);
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
        hooks.saveFileName = [&](QWidget*) {
            return QString::fromStdString(dir.file("saved.png"));
        };
        PlotWindow s(PlotKind::Peaks, dir.path() + "/", hooks);
        s.button("2")->click();
        s.button("save picture")->click();
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
        QVERIFY(none.err.find("オープンエラー: /nonexistent/x.txt") != std::string::npos);
    }
};

QTEST_MAIN(PlotWindowTest)
#include "plotwindow_test.moc"
