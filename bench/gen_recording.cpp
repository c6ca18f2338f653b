// Writes a music-like test recording: 16-bit stereo (44.1 kHz unless a rate
// is given), several simultaneous harmonic notes with onsets and decays, plus
// noise. The same arguments always give the same file.
//
//   bench_gen_recording OUTPUT.wav SECONDS [SEED [RATE]]
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

struct Lcg {
    uint64_t s;
    double next() {  // [0, 1)
        s = s * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(s >> 11) / 9007199254740992.0;
    }
};

void put16(std::FILE* f, uint32_t v) {
    std::fputc(static_cast<int>(v & 0xFF), f);
    std::fputc(static_cast<int>((v >> 8) & 0xFF), f);
}
void put32(std::FILE* f, uint32_t v) {
    put16(f, v & 0xFFFF);
    put16(f, v >> 16);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUTPUT.wav SECONDS [SEED [RATE]]\n", argv[0]);
        return 2;
    }
    const int rate = argc > 4 ? std::atoi(argv[4]) : 44100;
    const double seconds = std::atof(argv[2]);
    Lcg rng{argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 1};
    const int64_t frames = static_cast<int64_t>(seconds * rate);
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f || frames <= 0 || rate < 8000 || rate > 192000 || frames > 0x3FFFFFFF) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    const uint32_t dataBytes = static_cast<uint32_t>(frames * 4);
    std::fputs("RIFF", f);
    put32(f, 36 + dataBytes);
    std::fputs("WAVEfmt ", f);
    put32(f, 16);
    put16(f, 1);
    put16(f, 2);
    put32(f, rate);
    put32(f, rate * 4);
    put16(f, 4);
    put16(f, 16);
    std::fputs("data", f);
    put32(f, dataBytes);

    // Render in blocks of one second; notes are drawn as they start.
    struct Voice {
        double f0, amp, start, length, pan;
    };
    std::vector<Voice> voices;
    double nextOnset = 0.0;
    std::vector<double> left(rate), right(rate);
    for (int64_t blockStart = 0; blockStart < frames; blockStart += rate) {
        const int64_t blockLen = std::min<int64_t>(rate, frames - blockStart);
        const double t0 = static_cast<double>(blockStart) / rate;
        while (nextOnset < t0 + 1.0) {
            // One to three notes at each onset, keys 36..84, lengths 0.15..1.5 s.
            const int count = 1 + static_cast<int>(rng.next() * 3);
            for (int i = 0; i < count; ++i) {
                const int key = 36 + static_cast<int>(rng.next() * 48);
                voices.push_back({440.0 * std::pow(2.0, (key - 69) / 12.0),
                                  2500.0 + 3000.0 * rng.next(), nextOnset, 0.15 + 1.35 * rng.next(),
                                  rng.next()});
            }
            nextOnset += 0.1 + 0.4 * rng.next();
        }
        std::fill(left.begin(), left.end(), 0.0);
        std::fill(right.begin(), right.end(), 0.0);
        for (const Voice& v : voices) {
            const int64_t from =
                std::max<int64_t>(blockStart, static_cast<int64_t>(v.start * rate));
            const int64_t to = std::min<int64_t>(blockStart + blockLen,
                                                 static_cast<int64_t>((v.start + v.length) * rate));
            for (int64_t n = from; n < to; ++n) {
                const double t = static_cast<double>(n) / rate - v.start;
                const double env = std::exp(-3.0 * t) * std::min(1.0, t / 0.004);
                double s = 0.0;
                for (int h = 1; h <= 6 && v.f0 * h < 10000.0; ++h) {
                    s += std::sin(2.0 * M_PI * v.f0 * h * t) / h;
                }
                s *= v.amp * env;
                left[static_cast<size_t>(n - blockStart)] += s * (1.0 - 0.5 * v.pan);
                right[static_cast<size_t>(n - blockStart)] += s * (0.5 + 0.5 * v.pan);
            }
        }
        std::erase_if(voices, [&](const Voice& v) { return v.start + v.length < t0 + 1.0; });
        for (int64_t i = 0; i < blockLen; ++i) {
            const double noise = (rng.next() - 0.5) * 60.0;
            auto clip = [](double x) {
                return static_cast<int16_t>(
                    std::lround(std::fmax(-32768.0, std::fmin(32767.0, x))));
            };
            put16(f, static_cast<uint16_t>(clip(left[static_cast<size_t>(i)] + noise)));
            put16(f, static_cast<uint16_t>(clip(right[static_cast<size_t>(i)] + noise)));
        }
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
