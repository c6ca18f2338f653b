// Lenient number reading, as the programs read numbers everywhere: leading
// blanks skipped, the leading number taken, the rest ignored, 0 when there is
// no number. Integers saturate at the int32 range instead of overflowing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sonvola {

double parseLenientDouble(const char* text);
// The same for a NUL-terminated text whose length is known.
double parseLenientDouble(const char* text, size_t length);
int32_t parseLenientInt(const char* text);

}  // namespace sonvola
