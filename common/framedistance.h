// The frame distance of SpecScan's short-term estimation, which the tools
// also need to know how late the peaks it keeps are dated.
#pragma once

#include <cstdint>

namespace sonvola {

// trunc((N - 11 s) / (11 FrameRate)) for a frame of N samples and a shift of
// s ms, never negative, 0 when FrameRate is 0.
inline int64_t shortTermDistance(int64_t frameLength, int64_t frameShiftMs, int64_t frameRate) {
    if (frameRate == 0) return 0;
    const int64_t d = (frameLength - 11 * frameShiftMs) / (11 * frameRate);
    return d > 0 ? d : 0;
}

}  // namespace sonvola
