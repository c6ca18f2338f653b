#include "common/numbers.h"

#include <cerrno>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace sonvola {

double parseLenientDouble(const char* text) {
    if (!text) return 0.0;
    return parseLenientDouble(text, std::strlen(text));
}

double parseLenientDouble(const char* text, size_t length) {
    // Every route below gives strtod's result; the quicker ones serve the
    // numbers the stages write. Anything unusual (blanks, '+', hexadecimal,
    // infinities, out of range) takes strtod itself.
    const char* p = text;
    if (*p == '-') ++p;
    // Short fixed-point numbers such as "5512.49", the commonest by far: the
    // digits make an exact integer n below 10^15 and the value is n / 10^k,
    // one correctly rounded division of exact numbers, which is what strtod
    // returns for that decimal text.
    {
        const char* q = p;
        uint64_t n = 0;
        int digits = 0, decimals = 0;
        while (*q >= '0' && *q <= '9' && digits < 16)
            n = n * 10 + static_cast<uint64_t>(*q++ - '0'), ++digits;
        if (*q == '.' && digits > 0) {
            ++q;
            while (*q >= '0' && *q <= '9' && digits < 16) {
                n = n * 10 + static_cast<uint64_t>(*q++ - '0');
                ++digits;
                ++decimals;
            }
        }
        if (digits > 0 && digits <= 15 && q == text + length) {
            static constexpr double kPowers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
            const double value = static_cast<double>(n) / kPowers[decimals];
            return *text == '-' ? -value : value;
        }
    }
    // Other plain decimal numbers: std::from_chars rounds exactly as strtod.
    if (*p >= '0' && *p <= '9') {
        double value = 0.0;
        const char* end = text + length;
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

bool parseStrictInt(std::string_view text, int64_t& value) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+') {
        ++begin;
        if (begin != end && *begin == '-') return false;
    }
    if (begin == end) return false;
    int64_t v = 0;
    auto [stop, ec] = std::from_chars(begin, end, v, 10);
    if (ec != std::errc() || stop != end) return false;
    value = v;
    return true;
}

NumberProblem readStrictDouble(std::string_view text, double& value) {
    if (text.size() > 1 && text[0] == '+' && text[1] != '-') text.remove_prefix(1);
    const char* end = text.data() + text.size();
    double v = 0.0;
    // from_chars also takes "inf" and "nan": they are refused as not finite.
    const auto [stop, ec] = std::from_chars(text.data(), end, v, std::chars_format::general);
    if (ec == std::errc::invalid_argument || stop != end) return NumberProblem::NotANumber;
    if (ec == std::errc::result_out_of_range) return NumberProblem::OutOfRange;
    if (!std::isfinite(v)) return NumberProblem::NotFinite;
    value = v;
    return NumberProblem::None;
}

bool parseStrictDouble(std::string_view text, double& value) {
    return readStrictDouble(text, value) == NumberProblem::None;
}

}  // namespace sonvola
