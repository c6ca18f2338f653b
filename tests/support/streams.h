#pragma once

#include <cstdio>
#include <string>

namespace sonvola::test {

// Everything written to a temporary stream; the stream is closed.
inline std::string slurp(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    int c;
    while ((c = std::fgetc(f)) != EOF) s += static_cast<char>(c);
    std::fclose(f);
    return s;
}

}  // namespace sonvola::test
