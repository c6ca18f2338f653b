#include "common/numbers.h"

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace sonvola {

double parseLenientDouble(const char* text) {
    if (!text) return 0.0;
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
