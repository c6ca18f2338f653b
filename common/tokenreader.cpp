#include "common/tokenreader.h"

namespace sonvola {

TokenReader::TokenReader(std::FILE* file, size_t maxLength)
    : file_(file), storage_(size_t{1} << 16), max_(maxLength) {}

TokenReader::TokenReader(std::string_view text, size_t maxLength)
    : buf_(text.data()), end_(text.size()), max_(maxLength) {}

bool TokenReader::refill() {
    if (!file_) return false;
    end_ = std::fread(storage_.data(), 1, storage_.size(), file_);
    buf_ = storage_.data();
    pos_ = 0;
    return end_ > 0;
}

TokenReader::Got TokenReader::next() {
    for (;;) {
        while (pos_ < end_ && isBlank(static_cast<unsigned char>(buf_[pos_]))) {
            if (buf_[pos_] == '\n') ++line_;
            ++pos_;
        }
        if (pos_ < end_) break;
        if (!refill()) return Got::End;
    }
    word_.clear();
    for (;;) {
        const size_t start = pos_;
        while (pos_ < end_ && !isBlank(static_cast<unsigned char>(buf_[pos_]))) ++pos_;
        const size_t n = pos_ - start;
        if (n > max_ - word_.size()) {
            const size_t take = max_ - word_.size();
            word_.append(buf_ + start, take);
            pos_ = start + take;
            return Got::TooLong;
        }
        word_.append(buf_ + start, n);
        if (pos_ < end_ || !refill()) return Got::Token;
    }
}

bool TokenReader::readLine(std::string& line) {
    line.clear();
    bool any = false;
    for (;;) {
        if (pos_ == end_ && !refill()) break;
        any = true;
        const char* from = buf_ + pos_;
        const void* nl = std::memchr(from, '\n', end_ - pos_);
        if (nl) {
            const size_t n = static_cast<size_t>(static_cast<const char*>(nl) - from);
            line.append(from, n);
            pos_ += n + 1;
            ++line_;
            break;
        }
        line.append(from, end_ - pos_);
        pos_ = end_;
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return any;
}

}  // namespace sonvola
