#include "scoretosmf/smf.h"

#include <bit>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/console.h"
#include "common/peakfile.h"
#include "common/scoretext.h"
#include "common/tokenreader.h"

namespace sonvola {

void appendVariableLength(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[4];
    int n = 0;
    bytes[n++] = static_cast<uint8_t>(value & 0x7F);
    while ((value >>= 7) != 0 && n < 4) bytes[n++] = static_cast<uint8_t>(0x80 | (value & 0x7F));
    while (n > 0) out.push_back(bytes[--n]);
}

std::vector<uint8_t> tempoBytes(int bpm) {
    const double s = 60.0 / static_cast<double>(bpm);
    const uint32_t high = static_cast<uint32_t>(static_cast<int64_t>(s * 15.2587890625));
    const uint32_t micro = static_cast<uint32_t>(static_cast<int64_t>(s * 1000000.0) % 65536);
    return {static_cast<uint8_t>(high & 0xFF), static_cast<uint8_t>((micro >> 8) & 0xFF),
            static_cast<uint8_t>(micro & 0xFF)};
}

namespace {

void put32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v >> 24));
    out.push_back(static_cast<uint8_t>(v >> 16));
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

// The words of the score, through the common reader (any length: a word
// longer than kMaxTokenBytes is refused only inside a track). At the end of
// the text the last word read stays.
class Tokens {
  public:
    explicit Tokens(std::string_view text) : in_(text, TokenReader::kUnlimited) {}

    // False at the end of the text.
    bool next() { return in_.next() != TokenReader::Got::End; }
    std::string_view last() const { return in_.token(); }
    std::string lastString() const { return std::string(in_.token()); }
    bool tooLong() const { return in_.length() > kMaxTokenBytes; }

  private:
    TokenReader in_;
};

// The leading integer of a token (sign allowed), 0 without digits,
// held within the int64 range.
int64_t leadingInt(std::string_view t) {
    std::string s(t);
    return std::strtoll(s.c_str(), nullptr, 10);
}

struct Converter {
    Tokens tokens;
    std::vector<uint8_t>& midi;
    Status status;
    double msPerQuarter = 500.0;

    bool fail(const std::string& message) {
        status = Status::error(message);
        return false;
    }

    // Reads the next token into tokens.last(); a score that ends here is refused.
    bool need(const char* what, int block) {
        if (!tokens.next()) {
            return fail(format("err: the score ends inside track %d, where %s was expected\n",
                               block + 1, what));
        }
        if (tokens.tooLong()) {
            return fail(
                format("err: a word of the score is longer than %zu bytes\n", kMaxTokenBytes));
        }
        return true;
    }

    bool convertBlock(int block) {
        std::vector<uint8_t> data;
        double baseTicks = 0.0;    // exact ticks up to the last tempo change
        int64_t msSinceTempo = 0;  // milliseconds since then
        int64_t writtenTicks = 0;  // ticks written so far in this track
        for (;;) {
            if (!need("an event or \"}\"", block)) return false;
            // The item's first word, kept while the rest of the item is read.
            const std::string shown(tokens.last());
            const std::string_view tok = shown;
            switch (classifyScoreToken(tok)) {
                case ScoreToken::Rhythm: {
                    if (!need("the numerator", block)) return false;
                    const int64_t num = leadingInt(tokens.last());
                    if (!need("the separator", block) || !need("the denominator", block))
                        return false;
                    const int64_t den = leadingInt(tokens.last());
                    // MIDI stores the denominator as a power of two: 3 / 5 would
                    // come out as 3 / 4.
                    if (num < 1 || num > 255 || den < 1 ||
                        !std::has_single_bit(static_cast<uint64_t>(den))) {
                        return fail(
                            format("err: time signature %lld / %lld cannot be written "
                                   "(numerator 1 to 255, denominator a power of two)\n",
                                   static_cast<long long>(num), static_cast<long long>(den)));
                    }
                    const int exponent =
                        static_cast<int>(std::log(static_cast<double>(den)) / std::log(2.0));
                    data.insert(data.end(), {0xFF, 0x58, 0x04, static_cast<uint8_t>(num),
                                             static_cast<uint8_t>(exponent), 0x18, 0x08});
                    break;
                }
                case ScoreToken::Tempo: {
                    if (!need("the tempo", block)) return false;
                    const int64_t bpm = leadingInt(tokens.last());
                    // A quarter note must fit the three tempo bytes (at most 0xFFFFFF us).
                    if (bpm < 4 || bpm > 60000000) {
                        return fail(
                            format("err: tempo \"%s\" is not a number of beats per "
                                   "minute from 4 to 60000000\n",
                                   tokens.lastString().c_str()));
                    }
                    baseTicks +=
                        static_cast<double>(msSinceTempo) / msPerQuarter * kTicksPerQuarter;
                    msSinceTempo = 0;
                    const double s = 60.0 / static_cast<double>(bpm);
                    msPerQuarter = s * 1000.0;
                    std::vector<uint8_t> t = tempoBytes(static_cast<int>(bpm));
                    data.insert(data.end(), {0xFF, 0x51, 0x03, t[0], t[1], t[2]});
                    break;
                }
                case ScoreToken::Tone: {
                    if (!need("the program number", block)) return false;
                    const int64_t program = leadingInt(tokens.last());
                    if (block > 15)
                        return fail(
                            format("err: \"tone\" in track %d: MIDI has 16 channels\n", block + 1));
                    if (program < 1 || program > 128) {
                        return fail(format("err: program \"%s\" is not from 1 to 128\n",
                                           tokens.lastString().c_str()));
                    }
                    data.push_back(static_cast<uint8_t>(0xC0 + block));
                    data.push_back(static_cast<uint8_t>(program - 1));
                    break;
                }
                case ScoreToken::Note: {
                    if (!need("the velocity", block)) return false;
                    const int64_t velocity = leadingInt(tokens.last());
                    if (block > 15)
                        return fail(format("err: note \"%s\" in track %d: MIDI has 16 channels\n",
                                           shown.c_str(), block + 1));
                    const int key = noteKeyFromName(tok);
                    if (key > 127)
                        return fail(
                            format("err: note \"%s\" lies above the MIDI keys\n", shown.c_str()));
                    if (velocity < 0) {
                        return fail(format("err: velocity \"%s\" of note \"%s\" is negative\n",
                                           tokens.lastString().c_str(), shown.c_str()));
                    }
                    data.push_back(static_cast<uint8_t>(0x90 + block));
                    data.push_back(static_cast<uint8_t>(key));
                    data.push_back(static_cast<uint8_t>(velocity > 127 ? 127 : velocity));
                    break;
                }
                case ScoreToken::Delta: {
                    const int64_t ms = leadingInt(tok);
                    if (ms < 0)
                        return fail(format("err: delta \"%s\" is negative\n", shown.c_str()));
                    if (ms > std::numeric_limits<int64_t>::max() / 2 - msSinceTempo) {
                        return fail(format("err: delta \"%s\" is too long\n", shown.c_str()));
                    }
                    // Each event's tick time is the truncation of its exact
                    // time, so no remainder is lost between events.
                    msSinceTempo += ms;
                    const double exact = baseTicks + static_cast<double>(msSinceTempo) /
                                                         msPerQuarter * kTicksPerQuarter;
                    if (!(exact < static_cast<double>(kMaxVariableLength) * 8.0)) {
                        return fail(
                            format("err: delta \"%s\" reaches beyond what a MIDI file can hold\n",
                                   shown.c_str()));
                    }
                    const int64_t eventTicks = static_cast<int64_t>(exact);
                    const int64_t ticks = eventTicks - writtenTicks;
                    if (ticks > kMaxVariableLength) {
                        return fail(
                            format("err: delta \"%s\" is longer than a MIDI delta (%u ticks)\n",
                                   shown.c_str(), kMaxVariableLength));
                    }
                    appendVariableLength(data, static_cast<uint32_t>(ticks));
                    writtenTicks = eventTicks;
                    break;
                }
            }
            if (tokens.last() == "}") break;
        }
        data.insert(data.end(), {0xFF, 0x2F, 0x00});
        midi.insert(midi.end(), {'M', 'T', 'r', 'k'});
        put32(midi, static_cast<uint32_t>(data.size()));
        midi.insert(midi.end(), data.begin(), data.end());
        return true;
    }
};

}  // namespace

Status convertScoreToSmf(std::string_view score, std::vector<uint8_t>& midi) {
    Converter c{Tokens(score), midi, {}, 500.0};
    midi.clear();
    if (!c.tokens.next() || c.tokens.last() != "tracks" || !c.tokens.next()) {
        c.fail("err: the score does not begin with \"tracks\" and the number of tracks\n");
        return c.status;
    }
    const std::string countText = c.tokens.lastString();
    char* end = nullptr;
    const long long count = std::strtoll(countText.c_str(), &end, 10);
    if (end == countText.c_str()) {
        c.fail(format("err: the number of tracks \"%s\" is not a number\n", countText.c_str()));
        return c.status;
    }
    if (count < 0 || count > 255) {
        c.fail(format("err: %lld tracks: a score holds 0 to 255\n", count));
        return c.status;
    }
    midi.insert(midi.end(),
                {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1, 0, static_cast<uint8_t>(count), 0x01, 0xE0});
    for (int b = 0; b < count; ++b) {
        if (!c.tokens.next() || c.tokens.last() != "track{") {
            c.fail(format("err: MIDI track error -> %s\n", c.tokens.lastString().c_str()));
            return c.status;
        }
        if (!c.convertBlock(b)) return c.status;
    }
    return c.status;
}

}  // namespace sonvola
