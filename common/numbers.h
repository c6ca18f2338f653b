// Lenient number reading, as the programs read numbers everywhere: leading
// blanks skipped, the leading number taken, the rest ignored, 0 when there is
// no number. Integers saturate at the int32 range instead of overflowing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace sonvola {

double parseLenientDouble(const char* text);
// The same for a NUL-terminated text whose length is known.
double parseLenientDouble(const char* text, size_t length);
int32_t parseLenientInt(const char* text);

// Strict number reading, for options and for the tools' readers: the whole
// text must be the number (an optional sign, then digits; for a double also
// a fraction and an exponent), finite and in range. "5abc", "1O0", "nan",
// "inf", " 5" and "" are refused (false, `value` untouched).
bool parseStrictInt(std::string_view text, int64_t& value);
bool parseStrictDouble(std::string_view text, double& value);

// The same for a double, telling why a text is refused.
enum class NumberProblem { None, NotANumber, OutOfRange, NotFinite };
NumberProblem readStrictDouble(std::string_view text, double& value);

}  // namespace sonvola
