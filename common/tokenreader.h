// Blank-separated words, as every text file of the system is read: the
// peak lists, their plots and the score texts. A word is a run of bytes
// other than the six blanks (space, tab, line feed, vertical tab, form feed,
// carriage return); anything else, NUL and control bytes included, belongs
// to the word.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace sonvola {

constexpr bool isBlank(int c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Reads words from a file (through a block buffer of its own, so the file
// must not be read otherwise meanwhile) or from a text in memory.
class TokenReader {
  public:
    static constexpr size_t kUnlimited = SIZE_MAX;

    // Words of at most `maxLength` bytes.
    TokenReader(std::FILE* file, size_t maxLength);
    TokenReader(std::string_view text, size_t maxLength);

    enum class Got { Token, End, TooLong };

    // Skips blanks, then reads a word. A word longer than the maximum gives
    // its first maxLength bytes with TooLong, and the rest of it is what the
    // next call reads. At the end of the input (End) the last word read
    // stays.
    Got next();

    std::string_view token() const { return word_; }
    const char* c_str() const { return word_.c_str(); }
    size_t length() const { return word_.size(); }
    template <size_t N>
    bool is(const char (&word)[N]) const {
        return word_.size() == N - 1 && std::memcmp(word_.data(), word, N - 1) == 0;
    }

    // The line of the last word read (from 1): the line ends passed so far.
    int line() const { return line_; }

    // Reads the rest of the current line without its line end ("\n" or
    // "\r\n"); false when the input had ended.
    bool readLine(std::string& line);

  private:
    bool refill();

    std::FILE* file_ = nullptr;
    std::vector<char> storage_;
    const char* buf_ = nullptr;
    size_t pos_ = 0, end_ = 0;
    size_t max_;
    std::string word_;
    int line_ = 1;
};

}  // namespace sonvola
