// The icon of the installation (dist/icons/sonvola.svg, rendered into PNGs by
// the build) is the picture the front end draws for its windows.
#include <QImage>
#include <QtTest>
#include <cstdlib>

#include "frontend/qt/backgrounds.h"

namespace {

struct Difference {
    double mean = 0;   // mean absolute difference of a channel, 0..255
    double share = 0;  // share of the pixels with a channel off by more than 64
};

Difference compare(const QImage& a, const QImage& b) {
    const QImage x = a.convertToFormat(QImage::Format_ARGB32);
    const QImage y = b.convertToFormat(QImage::Format_ARGB32);
    Difference d;
    long long sum = 0, far = 0;
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            const QRgb p = x.pixel(col, row), q = y.pixel(col, row);
            const int diffs[] = {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                 std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))};
            int most = 0;
            for (int v : diffs) {
                sum += v;
                most = std::max(most, v);
            }
            if (most > 64) ++far;
        }
    }
    const double pixels = static_cast<double>(x.width()) * x.height();
    d.mean = static_cast<double>(sum) / (pixels * 4);
    d.share = static_cast<double>(far) / pixels;
    return d;
}

}  // namespace

class IconTest : public QObject {
    Q_OBJECT
  private slots:
    void renderedSvgIsTheDrawnIcon_data() {
        QTest::addColumn<int>("size");
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            QTest::newRow(qPrintable(QString::number(size))) << size;
    }
    void renderedSvgIsTheDrawnIcon() {
        QFETCH(int, size);
        const QString path = QStringLiteral(SONVOLA_ICON_PNG_DIR "/%1x%1/sonvola.png").arg(size);
        QImage png(path);
        QVERIFY2(!png.isNull(), qPrintable(path));
        QCOMPARE(png.size(), QSize(size, size));
        const Difference d = compare(png, sonvola::iconPicture(size));
        qInfo("%dx%d: mean difference %.2f, %.2f %% of the pixels far off", size, size, d.mean,
              d.share * 100);
        // Two renderers antialias edges differently, most in the smallest
        // sizes; the shapes, places and colours must agree (the note head
        // moved by 3 of the 64 units is caught from 32 pixels up).
        const bool small = size < 32;
        QVERIFY2(d.mean < (small ? 4.0 : 1.2), qPrintable(QString::number(d.mean)));
        QVERIFY2(d.share < (small ? 0.03 : 0.01), qPrintable(QString::number(d.share)));
    }
};

QTEST_MAIN(IconTest)
#include "icon_test.moc"
