// The samples of a WAV file read whole, for the tests and the fuzz targets:
// SpecScan reads them block by block (specscan/stream.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonvola {

// Deliberate reference version of WaveSampleStream and scanAmplitude: reads
// `count` data bytes from `offset` as samples: 8-bit samples u become
// u * 257 - 32768, 16-bit ones are little-endian signed. `samples` receives
// count values (8 bits) or count / 2 values (16 bits); bytes missing from the
// file read as 0. Appends the conversion and amplitude lines to `console`.
// Returns false when the file cannot be opened.
bool readWaveSamples(const std::string& wavPath, int64_t count, int64_t offset, int bits,
                     std::vector<int16_t>& samples, std::string& console);

}  // namespace sonvola
