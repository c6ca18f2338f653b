// The contrast of rendered text, as the accessibility guidelines reckon it
// ((L1 + 0.05) / (L2 + 0.05) of relative luminances): 4.5 is readable.
#pragma once

#include <QColor>
#include <QImage>
#include <algorithm>
#include <cmath>
#include <map>

namespace sonvola::test {

inline double luminance(const QColor& c) {
    auto channel = [](int v) {
        const double s = v / 255.0;
        return s <= 0.03928 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(c.red()) + 0.7152 * channel(c.green()) + 0.0722 * channel(c.blue());
}

// The contrast of a rendered text: its most common colour is the
// background, the colour farthest from it in luminance the text.
inline double contrastOf(const QImage& img) {
    std::map<QRgb, int> count;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) ++count[img.pixel(x, y)];
    }
    QRgb background = 0;
    int most = 0;
    for (const auto& [rgb, n] : count) {
        if (n > most) most = n, background = rgb;
    }
    const double lb = luminance(QColor(background));
    double best = 1.0;
    for (const auto& [rgb, n] : count) {
        const double l = luminance(QColor(rgb));
        best = std::max(best, (std::max(l, lb) + 0.05) / (std::min(l, lb) + 0.05));
    }
    return best;
}

}  // namespace sonvola::test
