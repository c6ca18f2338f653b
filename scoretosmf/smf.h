// Score text to Standard MIDI File (format 1, 480 ticks per quarter note).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/status.h"

namespace sonvola {

inline constexpr int kTicksPerQuarter = 480;
inline constexpr uint32_t kMaxVariableLength = 0x0FFFFFFF;

// MIDI variable-length quantity (1 to 4 bytes) of `value` <= 0x0FFFFFFF.
void appendVariableLength(std::vector<uint8_t>& out, uint32_t value);

// The three tempo bytes for `bpm` beats per minute: trunc(s * 15.2587890625),
// then trunc(s * 1e6) mod 65536 high byte first, with s = 60 / bpm.
std::vector<uint8_t> tempoBytes(int bpm);

// Converts a score text; a refusal's message is an "err: " line. `midi`
// receives the header chunk and every track chunk completed before an error,
// so a failed conversion leaves what a reader can parse up to that point.
Status convertScoreToSmf(std::string_view score, std::vector<uint8_t>& midi);

}  // namespace sonvola
