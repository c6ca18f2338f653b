#include "specscan/stepmessages.h"

#include "common/console.h"

namespace sonvola {

std::string amplitudeMessage(int mini, int maxi) {
    return format("\n\tAmplitude is \"mini: %d\" and \"maxi: %d\".\n", mini, maxi);
}

std::string stereoToMonoMessage(int64_t monoBytes, int64_t monoByteRate) {
    return format(
        "\n\tConvert stereo into mono: %lld[bytes] -> %lld[bytes]"
        "\n\t                          %lld[[bytes/frame] -> %lld[[bytes/frame]\n",
        static_cast<long long>(2 * monoBytes), static_cast<long long>(monoBytes),
        static_cast<long long>(2 * monoByteRate), static_cast<long long>(monoByteRate));
}

std::string lowPassFilterMessage(double outRateHz, int64_t taps) {
    return format("\n\tLow-pass filter: %8.2f[Hz], %lld points\n", 0.5 * outRateHz,
                  static_cast<long long>(taps));
}

std::string downSamplingMessage(double inRateHz, double outRateHz) {
    return format("\tDown-sampling: %8.2f[Hz] to %8.2f[Hz]\n", inRateHz, outRateHz);
}

}  // namespace sonvola
