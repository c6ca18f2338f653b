#include "common/numbers.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace sonvola {

double parseLenientDouble(const char* text) {
    if (!text) return 0.0;
    // Plain decimal numbers (the files the stages write hold nothing else)
    // go through std::from_chars, which rounds exactly as strtod does but
    // several times faster; anything else (blanks, '+', hexadecimal,
    // infinities, out of range) takes strtod itself.
    const char* p = text;
    if (*p == '-') ++p;
    if (*p >= '0' && *p <= '9') {
        double value = 0.0;
        const char* end = text + std::strlen(text);
        auto [stop, ec] = std::from_chars(text, end, value, std::chars_format::general);
        if (ec == std::errc() && *stop != 'x' && *stop != 'X') return value;
    }
    return std::strtod(text, nullptr);
}

int32_t parseLenientInt(const char* text) {
    if (!text) return 0;
    errno = 0;
    long long v = std::strtoll(text, nullptr, 10);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

}  // namespace sonvola
