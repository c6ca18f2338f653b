#include "frontend/qt/backgrounds.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QRadialGradient>
#include <cmath>

namespace sonvola {

QImage backgroundPicture(int index, double scale) {
    const QSize size = index == 4 ? QSize(1280, 960) : QSize(1000, 750);
    if (!(scale > 0.0)) scale = 1.0;
    QImage img(size * scale, QImage::Format_RGB32);
    img.setDevicePixelRatio(scale);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    // A calm base in a different hue for each picture.
    static const QColor kBase[7] = {QColor(24, 30, 60), QColor(10, 48, 40), QColor(60, 24, 36),
                                    QColor(40, 40, 44), QColor(16, 36, 70), QColor(56, 44, 16),
                                    QColor(30, 16, 56)};
    const QColor base = kBase[index < 0 || index > 6 ? 6 : index];
    QLinearGradient g(0, 0, size.width(), size.height());
    g.setColorAt(0, base.lighter(160));
    g.setColorAt(1, base.darker(140));
    p.fillRect(QRect(QPoint(0, 0), size), g);
    // Staff lines and note heads: a score seen through glass.
    p.setPen(QPen(QColor(255, 255, 255, 40), 2));
    for (int staff = 0; staff < 6; ++staff) {
        const int top = 60 + staff * 130;
        for (int l = 0; l < 5; ++l) p.drawLine(0, top + l * 14, size.width(), top + l * 14);
    }
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 80; ++i) {
        const double x = std::fmod(i * 97.0 + index * 53.0, size.width());
        const int staff = (i * 7 + index) % 6;
        const double y = 60 + staff * 130 + ((i * 5 + index * 3) % 9) * 7;
        QRadialGradient note(x, y, 9);
        note.setColorAt(0, QColor(255, 255, 255, 110));
        note.setColorAt(1, QColor(255, 255, 255, 10));
        p.setBrush(note);
        p.drawEllipse(QPointF(x, y), 9, 7);
    }
    // A soft wave across the picture, its phase per picture.
    QPainterPath wave;
    wave.moveTo(0, size.height() / 2);
    for (int x = 0; x <= size.width(); x += 8) {
        wave.lineTo(x,
                    size.height() / 2 + 90 * std::sin(x / 110.0 + index) * std::exp(-x / 1800.0));
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 60), 3));
    p.drawPath(wave);
    return img;
}

QImage iconPicture(int size) {
    QImage img(size, size, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const double u = size / 64.0;  // drawn on a 64-unit grid
    p.scale(u, u);
    QLinearGradient sky(0, 0, 0, 64);
    sky.setColorAt(0, QColor(40, 60, 140));
    sky.setColorAt(1, QColor(10, 16, 50));
    p.setPen(Qt::NoPen);
    p.setBrush(sky);
    p.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // The bars of a spectrum along the bottom.
    const int bars[] = {10, 18, 30, 22, 14, 26, 16, 8};
    for (int i = 0; i < 8; ++i) {
        p.setBrush(QColor(0, 200 + i * 7, 90, 200));
        p.drawRect(QRectF(8 + i * 6, 56 - bars[i] * 0.6, 4.5, bars[i] * 0.6));
    }
    // Three staff lines and an eighth note on them.
    p.setPen(QPen(QColor(255, 255, 255, 150), 1.2));
    for (int l = 0; l < 3; ++l) p.drawLine(QPointF(8, 14 + l * 7), QPointF(56, 14 + l * 7));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 255, 0));
    p.save();
    p.translate(28, 33);
    p.rotate(-20);
    p.drawEllipse(QRectF(-7, -5, 14, 10));
    p.restore();
    p.setPen(QPen(QColor(0, 255, 0), 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(34, 31), QPointF(34, 8));
    QPainterPath flag;
    flag.moveTo(34, 8);
    flag.cubicTo(40, 12, 46, 14, 43, 24);
    p.setBrush(Qt::NoBrush);
    p.drawPath(flag);
    return img;
}

QIcon sonvolaIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256})
        icon.addPixmap(QPixmap::fromImage(iconPicture(size)));
    return icon;
}

}  // namespace sonvola
