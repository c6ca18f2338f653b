#include "frontend/qt/imagecanvas.h"

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "common/outputfile.h"

namespace sonvola {

Status writePng(const QImage& image, const std::string& path) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) return Status::error("cannot encode the picture as PNG");
    return writeWholeFile(path, std::string(bytes.constData(), static_cast<size_t>(bytes.size())));
}

namespace {

QColor colourOf(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

const QStringList& sansFamilies() {
    static const QStringList families{QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                                      QStringLiteral("DejaVu Sans")};
    return families;
}

QFont plotFont(PlotFont which) {
    QFont f;
    f.setFamilies(sansFamilies());
    if (which == PlotFont::A) {
        // The axis numbers stand in cells 8 pixels wide: the largest size
        // whose digits fit that width, drawn in the font's own proportions.
        for (int px = 16; px >= 6; --px) {
            f.setPixelSize(px);
            if (QFontMetrics(f).horizontalAdvance(QLatin1Char('0')) <= 8) break;
        }
    } else if (which == PlotFont::Small) {
        f.setPixelSize(12);
    } else {
        // The titles keep their unsmoothed look; the small texts are smoothed
        // to stay readable.
        f.setStyleStrategy(QFont::NoAntialias);
        f.setPixelSize(27);  // 20 points at 96 dots per inch
    }
    f.setWeight(QFont::Normal);
    return f;
}

}  // namespace

ImageCanvas::ImageCanvas() : image_(kPlotWidth, kPlotHeight, QImage::Format_RGB32) {
    image_.fill(Qt::white);
    for (PlotFont which : {PlotFont::A, PlotFont::B, PlotFont::C, PlotFont::Small}) {
        fonts_[static_cast<size_t>(which)] = plotFont(which);
    }
}

const QFont& ImageCanvas::font(PlotFont which) const {
    return fonts_[static_cast<size_t>(which)];
}

void ImageCanvas::fill(int left, int top, int right, int bottom, Rgb colour) {
    // Straight into the pixels: the piano roll fills many small bars.
    const int l = std::max(left, 0), t = std::max(top, 0);
    const int r = std::min(right, image_.width()), b = std::min(bottom, image_.height());
    if (l >= r || t >= b) return;
    const QRgb c = colourOf(colour).rgb();
    for (int y = t; y < b; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(image_.scanLine(y));
        std::fill(row + l, row + r, c);
    }
}

void ImageCanvas::rectangle(int left, int top, int right, int bottom) {
    QPainter p(&image_);
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::white);
    p.drawRect(QRect(left, top, right - left - 1, bottom - top - 1));
}

void ImageCanvas::ellipse(int left, int top, int right, int bottom) {
    QPainter p(&image_);
    p.setPen(QPen(Qt::black, 0));
    p.setBrush(Qt::white);
    p.drawEllipse(QRect(left, top, right - left - 1, bottom - top - 1));
}

void ImageCanvas::pixel(int x, int y, Rgb colour) {
    if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height()) {
        image_.setPixel(x, y, colourOf(colour).rgb());
    }
}

void ImageCanvas::line(int x0, int y0, int x1, int y1) {
    // The end point itself is not drawn.
    const int dx = (x1 > x0) - (x1 < x0), dy = (y1 > y0) - (y1 < y0);
    if (dx == 0 && dy == 0) return;
    QPainter p(&image_);
    p.setPen(QPen(Qt::black, 0));
    p.drawLine(x0, y0, x1 - dx, y1 - dy);
}

void ImageCanvas::dottedLine(int x0, int y0, int x1, int y1) {
    // One pixel on, one off, from the start point; the end point not drawn.
    const int steps = std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    for (int i = 0; i < steps; i += 2) {
        pixel(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps, {0, 0, 0});
    }
}

void ImageCanvas::text(int x, int y, const std::string& text, PlotFont which) {
    QPainter p(&image_);
    p.setPen(Qt::black);
    const QFont& f = font(which);
    p.setFont(f);
    const QFontMetrics metrics(f);
    const QString s = QString::fromStdString(text);
    if (which == PlotFont::B) {
        // A quarter turn counter-clockwise about the text's top-left corner.
        p.translate(x, y);
        p.rotate(-90);
        p.drawText(0, metrics.ascent(), s);
    } else if (which == PlotFont::A) {
        // The digits in the middle of their 32 pixel high cell, level with
        // the grid line or tick they name.
        p.drawText(x, y + (32 + metrics.capHeight()) / 2, s);
    } else {
        p.drawText(x, y + metrics.ascent(), s);
    }
}

int ImageCanvas::textWidth(const std::string& text, PlotFont which) {
    return QFontMetrics(font(which)).horizontalAdvance(QString::fromStdString(text));
}

}  // namespace sonvola
