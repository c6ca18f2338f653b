#include "frontend/core/uitext.h"

#include <vector>

namespace sonvola {

namespace {
UiTranslator translator = nullptr;
}  // namespace

void setUiTranslator(UiTranslator t) {
    translator = t;
}

std::string uiText(const char* source) {
    return translator ? translator(source) : std::string(source);
}

std::string uiText(const char* source, std::initializer_list<std::string> args) {
    const std::string pattern = uiText(source);
    const std::vector<std::string> values(args);
    std::string out;
    for (size_t i = 0; i < pattern.size(); ++i) {
        const char c = pattern[i];
        if (c == '%' && i + 1 < pattern.size() && pattern[i + 1] >= '1' && pattern[i + 1] <= '9') {
            const size_t n = static_cast<size_t>(pattern[i + 1] - '1');
            if (n < values.size()) {
                out += values[n];
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

}  // namespace sonvola
