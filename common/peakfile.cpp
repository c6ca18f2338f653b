#include "common/peakfile.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>

#include "common/console.h"
#include "common/fileptr.h"
#include "common/numbers.h"
#include "common/tokenreader.h"

namespace sonvola {

const PeakRecord PeakTable::empty_{};

PeakHeaderValues readPeakHeaderValues(TokenReader& in) {
    PeakHeaderValues h;
    std::string w[4];
    for (auto& word : w) {
        if (in.next() != TokenReader::Got::End) word = in.token();
    }
    h.maxdB = parseLenientDouble(w[1].c_str());
    h.mindB = parseLenientDouble(w[3].c_str());
    std::string line;
    in.readLine(line);  // the rest of line 1
    if (in.readLine(line)) {
        // "%s %d %s %d": a key word, a number, a key word, a number.
        const char* p = line.c_str();
        auto skipBlanks = [&] {
            while (*p && isBlank(static_cast<unsigned char>(*p))) ++p;
        };
        auto skipWord = [&] {
            skipBlanks();
            if (!*p) return false;
            while (*p && !isBlank(static_cast<unsigned char>(*p))) ++p;
            return true;
        };
        auto readInt = [&](int32_t& out) {
            skipBlanks();
            char* end = nullptr;
            long long v = std::strtoll(p, &end, 10);
            if (end == p) return false;
            p = end;
            out = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<int32_t>(v);
            return true;
        };
        if (skipWord() && readInt(h.frameRate) && skipWord()) readInt(h.loopCount);
    }
    in.readLine(h.signalName);
    return h;
}

PeakFileHeader readPeakHeader(const std::string& path) {
    PeakFileHeader h;
    FilePtr f(std::fopen(path.c_str(), "rb"));
    if (!f) return h;
    TokenReader in(f.get(), TokenReader::kUnlimited);
    PeakHeaderValues v = readPeakHeaderValues(in);
    h.maxdB = static_cast<float>(v.maxdB);
    h.mindB = static_cast<float>(v.mindB);
    h.frameRate = v.frameRate;
    h.loopCount = v.loopCount;
    h.signalName = std::move(v.signalName);
    return h;
}

PeakRecordReader::PeakRecordReader(std::FILE* file, std::string name)
    : in_(std::make_unique<TokenReader>(file, kMaxTokenBytes)), name_(std::move(name)) {
    std::string line;
    for (int i = 0; i < 4; ++i) in_->readLine(line);
}

PeakRecordReader::~PeakRecordReader() = default;

bool PeakRecordReader::next(PeakRecord& rec) {
    if (done_) return false;
    auto fail = [&](TokenReader::Got got) {
        if (got == TokenReader::Got::TooLong) {
            status_ = Status::error(
                format("err: %s holds a word longer than %zu bytes after record %lld\n",
                       name_.c_str(), kMaxTokenBytes, static_cast<long long>(records_)),
                PeakReadError::TokenTooLong);
        } else {
            status_ = Status::error(
                format("err: %s ends before \"end_of_file\" (after %lld complete records)\n",
                       name_.c_str(), static_cast<long long>(records_)),
                PeakReadError::EndsEarly);
        }
        done_ = true;
        return false;
    };
    TokenReader& in = *in_;
    TokenReader::Got got = in.next();  // a label or "end_of_file"
    if (got != TokenReader::Got::Token) return fail(got);
    if (in.is("end_of_file")) {
        done_ = true;
        return false;
    }
    if (records_ >= INT32_MAX) {
        status_ =
            Status::error(format("err: %s holds more than %d records\n", name_.c_str(), INT32_MAX),
                          PeakReadError::TooManyRecords);
        done_ = true;
        return false;
    }
    rec.label = parseLenientInt(in.c_str());
    rec.freqs.clear();
    rec.levels.clear();
    if ((got = in.next()) != TokenReader::Got::Token) return fail(got);
    while (!in.is("end")) {
        rec.freqs.push_back(static_cast<float>(parseLenientDouble(in.c_str(), in.length())));
        if ((got = in.next()) != TokenReader::Got::Token) return fail(got);
        rec.levels.push_back(static_cast<float>(parseLenientDouble(in.c_str(), in.length())));
        if ((got = in.next()) != TokenReader::Got::Token) return fail(got);
    }
    ++records_;
    return true;
}

Status readPeakRecords(std::FILE* file, const std::string& name, PeakTable& table) {
    table.records.clear();
    PeakRecordReader reader(file, name);
    PeakRecord rec;
    size_t last = 0;  // the last record's pairs: room for as many in the next
    for (;;) {
        rec.freqs.reserve(last);
        rec.levels.reserve(last);
        if (!reader.next(rec)) break;
        last = rec.freqs.size();
        table.records.push_back(std::move(rec));
    }
    return reader.status();
}

void writeFirstPassPlaceholder(std::FILE* f) {
    std::fprintf(f, "%71s\n", "");
}

void writeFirstPassLine1(std::FILE* f, double maxdB, double mindB) {
    std::fseek(f, 0, SEEK_SET);
    std::fprintf(f, "MaxdB: %0.2f MindB: %0.2f", maxdB, mindB);
}

void writeRewrittenLine1(std::FILE* f, double maxdB, double mindB) {
    std::fprintf(f, "MaxdB: %0.2f MindB: %0.2f  \n", maxdB, mindB);
}

void writeHeaderLines2to4(std::FILE* f, int32_t frameRate, int32_t loopCount,
                          const std::string& signalName) {
    std::fprintf(f, "FrameRate: %d LoopCount: %d\n", frameRate, loopCount);
    std::fputs(signalName.c_str(), f);
    std::fputc('\n', f);
    std::string dashes(177, '-');
    dashes += '\n';
    std::fputs(dashes.c_str(), f);
}

void appendFixed2(std::string& out, double value) {
    // Quick path for moderate values: 100 |v| is computed with an error far
    // below 1e-6 (its unit in the last place is at most 2^-23 below 1e7), so
    // unless its fraction lies within 1e-6 of one half, rounding the computed
    // product to an integer gives the same digits as rounding the exact
    // decimal value, which is what printf does. Near a half (and for large,
    // infinite or NaN values) the exact conversion below decides.
    const double magnitude = std::fabs(value);
    if (magnitude < 1e7) {
        const double scaled = magnitude * 100.0;
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;
        if (std::fabs(fraction - 0.5) > 1e-6) {
            uint64_t hundredths = static_cast<uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
            char buf[32];
            char* end = buf + sizeof buf;
            char* p = end;
            *--p = ' ';
            *--p = static_cast<char>('0' + hundredths % 10);
            hundredths /= 10;
            *--p = static_cast<char>('0' + hundredths % 10);
            hundredths /= 10;
            *--p = '.';
            do {
                *--p = static_cast<char>('0' + hundredths % 10);
                hundredths /= 10;
            } while (hundredths != 0);
            if (std::signbit(value)) *--p = '-';
            out.append(p, static_cast<size_t>(end - p));
            return;
        }
    }
    // std::to_chars with a precision rounds exactly as printf's "%0.2f" does.
    char buf[400];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf - 1, value, std::chars_format::fixed, 2);
    if (ec == std::errc()) {
        *end++ = ' ';
        out.append(buf, static_cast<size_t>(end - buf));
    } else {
        out += format("%0.2f ", value);
    }
}

void beginRecord(std::string& out, int64_t label) {
    char buf[24];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, label);
    (void)ec;  // 24 characters hold any int64_t
    out.append(buf, static_cast<size_t>(end - buf));
    out += ": ";
}

void appendPair(std::string& out, double freq, double level) {
    appendFixed2(out, freq);
    appendFixed2(out, level);
}

void endRecord(std::string& out) {
    out += "end\n";
}

void writeRecord(std::FILE* f, int64_t label, const float* freqs, const float* levels,
                 size_t count) {
    std::string line;
    beginRecord(line, label);
    for (size_t i = 0; i < count; ++i) appendPair(line, freqs[i], levels[i]);
    endRecord(line);
    std::fwrite(line.data(), 1, line.size(), f);
}

void writeEndOfFile(std::FILE* f) {
    std::fputs("end_of_file", f);
}

}  // namespace sonvola
