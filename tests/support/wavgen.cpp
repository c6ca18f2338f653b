#include "tests/support/wavgen.h"

#include <algorithm>
#include <cmath>

namespace sonvola::test {

namespace {

void put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

}  // namespace

std::string makeWavBytes(const std::string& data, const WavOptions& o) {
    std::string fmt;
    put16(fmt, 1);
    put16(fmt, static_cast<uint32_t>(o.channels));
    put32(fmt, static_cast<uint32_t>(o.sampleRate));
    const uint32_t block = static_cast<uint32_t>(o.channels * o.bits / 8);
    put32(fmt, static_cast<uint32_t>(o.sampleRate) * block);
    put16(fmt, block);
    put16(fmt, static_cast<uint32_t>(o.bits));
    while (fmt.size() < static_cast<size_t>(o.fmtChunkSize)) fmt += '\0';

    std::string body = "WAVE";
    body += "fmt ";
    put32(body, static_cast<uint32_t>(fmt.size()));
    body += fmt;
    if (o.listChunkBeforeData) {
        std::string info = "INFOISFT";
        put32(info, 8);
        info += "sonvola";
        info += '\0';
        body += "LIST";
        put32(body, static_cast<uint32_t>(info.size()));
        body += info;
    }
    body += "data";
    put32(body, o.dataSizeOverride >= 0 ? static_cast<uint32_t>(o.dataSizeOverride)
                                        : static_cast<uint32_t>(data.size()));
    body += data;
    std::string file = "RIFF";
    put32(file, static_cast<uint32_t>(body.size()));
    return file + body;
}

std::string makeWav(const std::vector<int16_t>& samples, const WavOptions& o) {
    std::string data;
    if (o.bits == 8) {
        for (int16_t v : samples) data += static_cast<char>((v >> 8) + 128);
    } else {
        for (int16_t v : samples) put16(data, static_cast<uint16_t>(v));
    }
    return makeWavBytes(data, o);
}

std::vector<int16_t> tone(double freqHz, double seconds, double amplitude, int sampleRate,
                          int channels) {
    const size_t frames = static_cast<size_t>(seconds * sampleRate);
    std::vector<int16_t> s(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        double v = amplitude * std::sin(2.0 * M_PI * freqHz * static_cast<double>(i) / sampleRate);
        for (int c = 0; c < channels; ++c) {
            s[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] =
                static_cast<int16_t>(std::lround(v));
        }
    }
    return s;
}

std::vector<int16_t> mixTones(const std::vector<std::pair<double, double>>& parts, double seconds,
                              int sampleRate) {
    const size_t frames = static_cast<size_t>(seconds * sampleRate);
    std::vector<int16_t> s(frames);
    for (size_t i = 0; i < frames; ++i) {
        double v = 0;
        for (auto [f, a] : parts)
            v += a * std::sin(2.0 * M_PI * f * static_cast<double>(i) / sampleRate);
        s[i] = static_cast<int16_t>(std::clamp(std::lround(v), -32768L, 32767L));
    }
    return s;
}

std::vector<int16_t> synthNotes(const std::vector<SynthNote>& notes, double seconds, int sampleRate,
                                int channels) {
    const size_t frames = static_cast<size_t>(seconds * sampleRate);
    std::vector<double> mix(frames, 0.0);
    for (const auto& n : notes) {
        const double f0 = 440.0 * std::pow(2.0, (n.key - 69) / 12.0);
        const size_t start = static_cast<size_t>(n.onset * sampleRate);
        const size_t len = static_cast<size_t>(n.duration * sampleRate);
        for (size_t i = 0; i < len && start + i < frames; ++i) {
            const double t = static_cast<double>(i) / sampleRate;
            double env = std::exp(-2.0 * t) * std::min(1.0, t / 0.005);
            const double release = n.duration - t;
            if (release < 0.03) env *= std::max(0.0, release / 0.03);
            double v = 0;
            const double partials[] = {1.0, 0.5, 0.25, 0.12};
            for (int h = 0; h < 4; ++h) {
                if (f0 * (h + 1) > 5000.0) break;
                v += partials[h] * std::sin(2.0 * M_PI * f0 * (h + 1) * t);
            }
            mix[start + i] += n.amplitude * env * v;
        }
    }
    std::vector<int16_t> s(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        int16_t v = static_cast<int16_t>(std::clamp(std::lround(mix[i]), -32768L, 32767L));
        for (int c = 0; c < channels; ++c)
            s[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] = v;
    }
    return s;
}

}  // namespace sonvola::test
