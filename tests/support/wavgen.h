// WAV files made by the tests: tones, silence, stereo, 8-bit and odd chunks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sonvola::test {

struct WavOptions {
    int sampleRate = 44100;
    int channels = 1;
    int bits = 16;
    int fmtChunkSize = 16;  // 18 adds a cbSize field of 0
    bool listChunkBeforeData = false;
    int64_t dataSizeOverride = -1;  // written in the data chunk instead of the true size
};

// Builds a whole WAV file around interleaved samples (16-bit values; for
// 8-bit files each value is stored as (v >> 8) + 128).
std::string makeWav(const std::vector<int16_t>& samples, const WavOptions& options = {});

// Builds a WAV from raw data bytes (used for 8-bit data given byte by byte).
std::string makeWavBytes(const std::string& data, const WavOptions& options);

// A sine of `freqHz` and peak `amplitude`, `seconds` long, in every channel.
std::vector<int16_t> tone(double freqHz, double seconds, double amplitude, int sampleRate,
                          int channels = 1);

// Several sines added, each (freq, amplitude), mono.
std::vector<int16_t> mixTones(const std::vector<std::pair<double, double>>& parts, double seconds,
                              int sampleRate);

// A note list made of piano-like tones: each (onset s, duration s, MIDI key,
// amplitude), with harmonics and an exponential decay.
struct SynthNote {
    double onset;
    double duration;
    int key;
    double amplitude;
};
std::vector<int16_t> synthNotes(const std::vector<SynthNote>& notes, double seconds, int sampleRate,
                                int channels = 1);

}  // namespace sonvola::test
