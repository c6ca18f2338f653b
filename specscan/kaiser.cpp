#include "specscan/kaiser.h"

#include <cmath>

namespace sonvola {

KaiserParameters kaiserParameters(double a, double delta) {
    double beta;
    if (a < 21.0) {
        beta = 0.0;
    } else if (a <= 50.0) {
        beta = 0.5842 * std::pow(a - 21.0, 0.4) + 0.07886 * (a - 21.0);
    } else {
        beta = 0.1102 * (a - 8.7);
    }
    if (delta == 0.0) delta = 0.0001;
    // 7.1785392134526775 is 2.285 * pi.
    double n0 = (a - 8.0) / (7.1785392134526775 * delta);
    return {beta, static_cast<int64_t>(n0)};
}

double besselI0(double x) {
    double sum = 1.0;
    double x2 = x * x;
    double t = x2 / 4.0;
    if (t < 2e-9) return 1.0;
    double k = 4.0;
    for (;;) {
        sum = sum + t;
        t = t * x2 / (k * k);
        k += 2.0;
        if (t < 2e-9 * sum) break;
    }
    return sum;
}

std::vector<double> designKaiserLowPass(double cutoffRatio, double attenuationDb,
                                        double transitionWidth, double gain) {
    KaiserParameters kp = kaiserParameters(attenuationDb, transitionWidth);
    int64_t len = 2 * (kp.order / 2) + 1;
    int64_t mid = (len - 1) / 2;
    std::vector<double> h(static_cast<size_t>(len));
    double i0beta = besselI0(kp.beta);
    for (int64_t i = 0; i < len; ++i) {
        double w = 1.0;
        if (len > 1) {
            double x = static_cast<double>(2 * i - len + 1) / static_cast<double>(len - 1);
            w = besselI0(kp.beta * std::sqrt(1.0 - x * x)) / i0beta;
        }
        int64_t k = i - mid;
        if (k == 0) {
            h[static_cast<size_t>(i)] = w * gain * cutoffRatio;
        } else {
            double theta = M_PI * cutoffRatio * static_cast<double>(k);
            h[static_cast<size_t>(i)] = w * gain * cutoffRatio * std::sin(theta) / theta;
        }
    }
    return h;
}

std::vector<double> downSamplingFilter(double inRateHz, double outRateHz) {
    return designKaiserLowPass(outRateHz / inRateHz, kStopBandAttenuationDb,
                               kTransitionWidthHz / inRateHz, 1.0);
}

}  // namespace sonvola
