// The plot canvas drawn into an image: what the plot windows show and what
// sonvola-plot writes, pixel for pixel the same.
#pragma once

#include <QFont>
#include <QImage>
#include <array>

#include "frontend/core/plot.h"

namespace sonvola {

class ImageCanvas : public PlotCanvas {
  public:
    ImageCanvas();
    const QImage& image() const { return image_; }

    void fill(int left, int top, int right, int bottom, Rgb colour) override;
    void rectangle(int left, int top, int right, int bottom) override;
    void ellipse(int left, int top, int right, int bottom) override;
    void pixel(int x, int y, Rgb colour) override;
    void line(int x0, int y0, int x1, int y1) override;
    void dottedLine(int x0, int y0, int x1, int y1) override;
    void text(int x, int y, const std::string& text, PlotFont font) override;
    int textWidth(const std::string& text, PlotFont font) override;

  private:
    const QFont& font(PlotFont which) const;

    QImage image_;
    std::array<QFont, 4> fonts_;  // by PlotFont
};

// Writes `image` as a PNG file to `path` ("-" is standard output), replacing
// an earlier file only once the picture is complete. False with the reason.
Status writePng(const QImage& image, const std::string& path);

}  // namespace sonvola
