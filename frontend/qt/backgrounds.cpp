#include "frontend/qt/backgrounds.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>

namespace sonvola {

QImage backgroundPicture(int index) {
    const QSize size = index == 4 ? QSize(1280, 960) : QSize(1000, 750);
    QImage img(size, QImage::Format_RGB32);
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
    p.fillRect(img.rect(), g);
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

}  // namespace sonvola
