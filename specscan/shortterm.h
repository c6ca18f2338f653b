// The short-term estimation: the peak list rewritten to keep only the peaks
// confirmed d frames later (d from common/framedistance.h).
#pragma once

#include <cstdint>
#include <string>

#include "common/status.h"

namespace sonvola {

// The kind of failure: the code of the Status.
enum class EstimationError { None, CannotOpen, ReadFailed, CannotCreate };

// Rewrites the peak list at `path` into `outputPath` (default: `path`
// itself), keeping the pairs of record i that recur at the same semitone
// within 8 dB in record i + d, dated d frames later. The output is replaced
// only once complete; a list found broken leaves it as it was. Fails with the
// message SpecScan prints and an EstimationError code.
Status shortTermEstimation(const std::string& path, int64_t frameLength, int64_t frameShiftMs,
                           const std::string& outputPath = {});

}  // namespace sonvola
