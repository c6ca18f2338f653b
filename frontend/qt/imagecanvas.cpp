#include "frontend/qt/imagecanvas.h"

#include <QBuffer>
#include <QFont>
#include <QFontMetrics>
#include <QPainter>

#include "common/outputfile.h"

namespace sonvola {

bool writePng(const QImage& image, const std::string& path, std::string& error) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        error = "cannot encode the picture as PNG";
        return false;
    }
    return writeWholeFile(path, std::string(bytes.constData(), static_cast<size_t>(bytes.size())),
                          error);
}

namespace {

QColor colourOf(Rgb c) {
    return QColor(c.r, c.g, c.b);
}

QFont plotFont(PlotFont which) {
    QFont f;
    f.setStyleStrategy(QFont::NoAntialias);
    if (which == PlotFont::A) {
        // 32 pixels high, characters about 8 pixels wide.
        f.setPixelSize(32);
        const int average = QFontMetrics(f).averageCharWidth();
        if (average > 0) f.setStretch(std::clamp(100 * 8 / average, 1, 4000));
    } else {
        f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                       QStringLiteral("DejaVu Sans")});
        f.setPixelSize(27);  // 20 points at 96 dots per inch
        f.setWeight(QFont::Normal);
    }
    return f;
}

}  // namespace

ImageCanvas::ImageCanvas() : image_(kPlotWidth, kPlotHeight, QImage::Format_RGB32) {
    image_.fill(Qt::white);
}

void ImageCanvas::fill(int left, int top, int right, int bottom, Rgb colour) {
    QPainter p(&image_);
    p.fillRect(QRect(left, top, right - left, bottom - top), colourOf(colour));
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

void ImageCanvas::text(int x, int y, const std::string& text, PlotFont font) {
    QPainter p(&image_);
    p.setPen(Qt::black);
    const QFont f = plotFont(font);
    p.setFont(f);
    const int ascent = QFontMetrics(f).ascent();
    const QString s = QString::fromStdString(text);
    if (font == PlotFont::B) {
        // A quarter turn counter-clockwise about the text's top-left corner.
        p.translate(x, y);
        p.rotate(-90);
        p.drawText(0, ascent, s);
    } else {
        p.drawText(x, y + ascent, s);
    }
}

}  // namespace sonvola
