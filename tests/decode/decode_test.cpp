// The decoder: which WAV files the stages take as they are, and the files of
// other kinds (made here with the ffmpeg program from WAV files made here)
// decoded into 16-bit WAV files.
#include "decode/decode.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "tests/support/process.h"
#include "tests/support/tempdir.h"
#include "tests/support/wavgen.h"

namespace sonvola {
namespace {

using test::fileExists;
using test::makeWav;
using test::readFile;
using test::TempDir;
using test::WavOptions;
using test::writeFile;

// ---- Bytes of files made by hand.

void put16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}
void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}
void putBe32(std::string& s, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) s += static_cast<char>((v >> shift) & 0xFF);
}

std::string chunk(const std::string& id, const std::string& body) {
    std::string c = id;
    put32(c, static_cast<uint32_t>(body.size()));
    c += body;
    if (body.size() % 2) c += '\0';
    return c;
}

std::string fmtBody(int formatCode, int channels, int rate, int bits) {
    std::string f;
    put16(f, static_cast<uint32_t>(formatCode));
    put16(f, static_cast<uint32_t>(channels));
    put32(f, static_cast<uint32_t>(rate));
    const int block = channels * bits / 8;
    put32(f, static_cast<uint32_t>(rate) * static_cast<uint32_t>(block));  // wraps when absurd
    put16(f, static_cast<uint32_t>(block));
    put16(f, static_cast<uint32_t>(bits));
    return f;
}

// A "fmt " body of WAVE_FORMAT_EXTENSIBLE with PCM samples and `mask`.
std::string extensibleFmt(int channels, int rate, int bits, uint32_t mask) {
    std::string f = fmtBody(0xFFFE, channels, rate, bits);
    put16(f, 22);
    put16(f, static_cast<uint32_t>(bits));
    put32(f, mask);
    f += std::string("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xAA\x00\x38\x9B\x71", 16);
    return f;
}

std::string riff(const std::string& chunks) {
    std::string s = "RIFF";
    put32(s, static_cast<uint32_t>(4 + chunks.size()));
    return s + "WAVE" + chunks;
}

std::string pcm16(const std::vector<int16_t>& samples) {
    std::string d;
    for (int16_t v : samples) put16(d, static_cast<uint16_t>(v));
    return d;
}

std::string float32(const std::vector<float>& samples) {
    std::string d(samples.size() * 4, '\0');
    std::memcpy(d.data(), samples.data(), d.size());
    return d;
}

// A CAF file of 16-bit big-endian PCM stating `channels` and `rate`.
std::string caf(double rate, uint32_t channels, const std::string& data) {
    std::string s = "caff";
    s += std::string("\x00\x01\x00\x00", 4);
    s += "desc";
    s += std::string(4, '\0');
    putBe32(s, 32);
    uint64_t bits;
    std::memcpy(&bits, &rate, 8);
    putBe32(s, static_cast<uint32_t>(bits >> 32));
    putBe32(s, static_cast<uint32_t>(bits));
    s += "lpcm";
    putBe32(s, 0);  // big-endian integers
    putBe32(s, 2 * channels);
    putBe32(s, 1);
    putBe32(s, channels);
    putBe32(s, 16);
    s += "data";
    s += std::string(4, '\0');
    putBe32(s, static_cast<uint32_t>(4 + data.size()));
    s += std::string(4, '\0');  // edit count
    return s + data;
}

// ---- Signals.

// Left 440 Hz, right 660 Hz, with a little noise so that every bit counts.
std::vector<int16_t> twoTones(int rate, double seconds) {
    const auto left = test::tone(440, seconds, 12000, rate);
    const auto right = test::tone(660, seconds, 9000, rate);
    std::vector<int16_t> s(left.size() * 2);
    uint32_t seed = 12345;
    for (size_t i = 0; i < left.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        const int noise = static_cast<int>(seed >> 23) - 256;
        s[2 * i] = static_cast<int16_t>(left[i] + noise);
        s[2 * i + 1] = static_cast<int16_t>(right[i] - noise / 2);
    }
    return s;
}

std::vector<double> channel(const std::vector<int16_t>& s, int channels, int c) {
    std::vector<double> x;
    for (size_t i = static_cast<size_t>(c); i < s.size(); i += static_cast<size_t>(channels)) {
        x.push_back(s[i]);
    }
    return x;
}

// The power of `x` at `f` over n samples from `from` (Goertzel's recurrence).
double powerAt(const std::vector<double>& x, size_t from, size_t n, double f, int rate) {
    const double c = 2 * std::cos(2 * M_PI * f / rate);
    double s1 = 0, s2 = 0;
    for (size_t i = 0; i < n; ++i) {
        const double s0 = x[from + i] + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return s1 * s1 + s2 * s2 - c * s1 * s2;
}

// The strongest frequency between 100 and 2000 Hz in the middle of `x`.
double pitch(const std::vector<double>& x, int rate) {
    const size_t n = std::min(x.size() / 2, static_cast<size_t>(rate / 2));
    const size_t from = (x.size() - n) / 2;
    double best = 0, bestF = 0;
    for (double f = 100; f <= 2000; f += 4) {
        const double p = powerAt(x, from, n, f, rate);
        if (p > best) best = p, bestF = f;
    }
    const double centre = bestF;
    for (double f = centre - 4; f <= centre + 4; f += 0.25) {
        const double p = powerAt(x, from, n, f, rate);
        if (p > best) best = p, bestF = f;
    }
    return bestF;
}

double rms(const std::vector<double>& x) {
    double s = 0;
    for (double v : x) s += v * v;
    return x.empty() ? 0 : std::sqrt(s / static_cast<double>(x.size()));
}

// ---- The decoded files.

struct Wav {
    int channels = 0;
    int rate = 0;
    std::vector<int16_t> samples;
    int64_t frames() const { return static_cast<int64_t>(samples.size()) / channels; }
};

uint32_t le32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}
uint32_t le16(const std::string& s, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8;
}

// Reads a written WAV, checking that its header is the canonical one.
Wav readWav(const std::string& path) {
    const std::string b = readFile(path);
    Wav w;
    EXPECT_GE(b.size(), 44u) << path;
    if (b.size() < 44) return w;
    EXPECT_EQ(b.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(b, 16), 16u);
    EXPECT_EQ(le16(b, 20), 1u);
    w.channels = static_cast<int>(le16(b, 22));
    w.rate = static_cast<int>(le32(b, 24));
    EXPECT_EQ(le32(b, 28), static_cast<uint32_t>(w.rate * w.channels * 2));
    EXPECT_EQ(le16(b, 32), static_cast<uint32_t>(w.channels * 2));
    EXPECT_EQ(le16(b, 34), 16u);
    EXPECT_EQ(b.substr(36, 4), "data");
    EXPECT_EQ(le32(b, 40), b.size() - 44);
    w.samples.resize((b.size() - 44) / 2);
    std::memcpy(w.samples.data(), b.data() + 44, w.samples.size() * 2);
    if (w.channels < 1) w.channels = 1;
    return w;
}

int maxDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
    int worst = 0;
    for (size_t i = 0; i < std::min(a.size(), b.size()); ++i) {
        worst = std::max(worst, std::abs(a[i] - b[i]));
    }
    return worst;
}

// ---- The ffmpeg program, which makes the files of other kinds.

std::string ffmpegProgram() {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/ffmpeg";
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

// Runs ffmpeg on `input` with `args` into `output`; false (with the reason
// in `why`) when it fails, e.g. when an encoder is missing.
bool ffmpeg(const std::string& input, const std::vector<std::string>& args,
            const std::string& output, std::string& why) {
    std::vector<std::string> all = {"ffmpeg", "-nostdin", "-hide_banner", "-loglevel",
                                    "error",  "-y",       "-i",           input};
    all.insert(all.end(), args.begin(), args.end());
    all.push_back(output);
    const test::ProcessResult r = test::runProcess(ffmpegProgram(), all);
    why = r.err;
    return r.exitCode == 0 && fileExists(output);
}

// Decoding needs FFmpeg's libraries; making the files needs its program too.
#define NEED_DECODER() \
    if (!decoderAvailable()) GTEST_SKIP() << "built without FFmpeg"
#define NEED_FFMPEG() \
    NEED_DECODER();   \
    if (ffmpegProgram().empty()) GTEST_SKIP() << "no ffmpeg program (scripts/install-deps)"

// A folder holding the stereo source at 44.1 kHz, and what ffmpeg makes of it.
class Decoded : public ::testing::Test {
  protected:
    void SetUp() override {
        source = twoTones(44100, 1.0);
        sourceWav = dir.file("source.wav");
        writeFile(sourceWav, makeWav(source, {.channels = 2}));
    }

    // ffmpeg's conversion of the source with `args` into `name`.
    std::string make(const std::string& name, const std::vector<std::string>& args,
                     const std::string& from = "") {
        const std::string out = dir.file(name);
        std::string why;
        if (!ffmpeg(from.empty() ? sourceWav : from, args, out, why)) {
            ADD_FAILURE() << "ffmpeg could not make " << name << ": " << why;
            return "";
        }
        return out;
    }

    // Decodes `input`, expecting success, and reads the result back.
    Wav decode(const std::string& input, DecodeReport& report) {
        const std::string out = input + ".decoded.wav";
        const Result<DecodeReport> decoded = decodeToWav(input, out);
        EXPECT_TRUE(decoded) << decoded.message();
        if (decoded) report = *decoded;
        EXPECT_TRUE(stagesReadAsIs(out)) << "the stages read what is written";
        return readWav(out);
    }

    // Decodes `input`, expecting a refusal that names the file; returns the reason.
    std::string refused(const std::string& input) {
        const std::string out = dir.file("refused.wav");
        const Result<DecodeReport> decoded = decodeToWav(input, out);
        EXPECT_FALSE(decoded) << input;
        EXPECT_NE(decoded.message().find(input), std::string::npos) << decoded.message();
        EXPECT_FALSE(fileExists(out)) << "nothing is written for " << input;
        return decoded.message();
    }

    TempDir dir{"sonvola-decode"};
    std::vector<int16_t> source;
    std::string sourceWav;
};

// ---- Which files the stages read as they are.

TEST(StagesReadAsIs, PlainPcmWavFiles) {
    TempDir dir;
    const auto check = [&](const std::string& bytes) {
        const std::string path = dir.file("a.wav");
        writeFile(path, bytes);
        return stagesReadAsIs(path);
    };
    const auto tone = test::tone(440, 0.05, 8000, 11025, 2);
    EXPECT_TRUE(check(makeWav(tone, {.sampleRate = 11025, .channels = 2})));
    EXPECT_TRUE(check(makeWav(tone, {.sampleRate = 96000, .channels = 1})));
    EXPECT_TRUE(check(makeWav(tone, {.sampleRate = 22050, .bits = 8})));
    EXPECT_TRUE(check(makeWav(tone, {.fmtChunkSize = 18})));
    EXPECT_TRUE(check(makeWav(tone, {.listChunkBeforeData = true})))
        << "a short LIST chunk leaves the data chunk within the first 200 bytes";
    EXPECT_TRUE(check(makeWav(tone, {.dataSizeOverride = 1 << 20})))
        << "a data chunk that announces more than the file holds is read as far as it goes";
}

TEST(StagesReadAsIs, FilesThatMustBeDecoded) {
    TempDir dir;
    const auto check = [&](const std::string& bytes) {
        const std::string path = dir.file("a.wav");
        writeFile(path, bytes);
        return stagesReadAsIs(path);
    };
    const std::string data = pcm16(test::tone(440, 0.05, 8000, 44100));
    ASSERT_TRUE(check(riff(chunk("fmt ", fmtBody(1, 1, 44100, 16)) + chunk("data", data))));

    // A LIST chunk that pushes the data chunk past the first 200 bytes.
    const std::string longList =
        chunk("LIST", "INFOICMT" + std::string(4, '\0') + std::string(200, 'x'));
    EXPECT_FALSE(
        check(riff(chunk("fmt ", fmtBody(1, 1, 44100, 16)) + longList + chunk("data", data))));
    // A chunk before the data whose text holds "data" where the stages look for it.
    EXPECT_FALSE(
        check(riff(chunk("fmt ", fmtBody(1, 1, 44100, 16)) +
                   chunk("junk", std::string("data\x10\0\0\0", 8)) + chunk("data", data))));
    // Samples that are not 8- or 16-bit integers.
    EXPECT_FALSE(check(riff(chunk("fmt ", fmtBody(1, 1, 44100, 24)) + chunk("data", data))));
    EXPECT_FALSE(check(riff(chunk("fmt ", fmtBody(3, 1, 44100, 32)) + chunk("data", data))));
    EXPECT_FALSE(check(riff(chunk("fmt ", extensibleFmt(1, 44100, 16, 4)) + chunk("data", data))));
    // Channels, rate and header values the stages cannot use.
    EXPECT_FALSE(check(riff(chunk("fmt ", fmtBody(1, 3, 44100, 16)) + chunk("data", data))));
    EXPECT_FALSE(check(riff(chunk("fmt ", fmtBody(1, 1, 8000, 16)) + chunk("data", data))));
    std::string badRate = fmtBody(1, 1, 44100, 16);
    badRate[8] = 0;  // the byte rate no longer matches
    EXPECT_FALSE(check(riff(chunk("fmt ", badRate) + chunk("data", data))));
    // No samples, no data chunk, no fmt chunk, not RIFF.
    EXPECT_FALSE(check(riff(chunk("fmt ", fmtBody(1, 1, 44100, 16)) + chunk("data", ""))));
    EXPECT_FALSE(check(riff(chunk("fmt ", fmtBody(1, 1, 44100, 16)))));
    EXPECT_FALSE(check(riff(chunk("data", data))));
    EXPECT_FALSE(check("RIFX" + riff(chunk("data", data)).substr(4)));
    EXPECT_FALSE(check("just some text, not a sound"));
    EXPECT_FALSE(check(""));
    EXPECT_FALSE(stagesReadAsIs(dir.file("missing.wav")));
    EXPECT_FALSE(stagesReadAsIs(dir.path()));
}

TEST(WithoutFfmpeg, EveryFileIsRefusedWithTheReason) {
    if (decoderAvailable()) GTEST_SKIP() << "built with FFmpeg";
    TempDir dir;
    const std::string wav = dir.file("a.wav");
    writeFile(wav, makeWav(test::tone(440, 0.1, 8000, 44100)));
    const Result<DecodeReport> decoded = decodeToWav(wav, dir.file("out.wav"));
    EXPECT_FALSE(decoded);
    EXPECT_EQ(decoded.message(), "cannot decode " + wav +
                                     ": built without FFmpeg: only WAV files the stages read "
                                     "can be used");
    EXPECT_FALSE(fileExists(dir.file("out.wav")));
    const Result<AudioInfo> info = probeAudio(wav);
    EXPECT_FALSE(info);
    EXPECT_EQ(info.message(), "cannot read " + wav +
                                  ": built without FFmpeg: only WAV files the stages read can "
                                  "be used");
    EXPECT_TRUE(stagesReadAsIs(wav)) << "which needs no FFmpeg";
}

// ---- Lossless files: the very samples of the source.

TEST_F(Decoded, LosslessFilesGiveTheSourceSamples) {
    NEED_FFMPEG();
    const std::string longComment(400, 'c');
    struct Case {
        const char* name;
        std::vector<std::string> args;
    };
    const std::vector<Case> cases = {
        {"copy.wav", {"-c:a", "pcm_s16le", "-metadata", "comment=" + longComment}},
        {"a.flac", {}},
        {"a.aiff", {}},
        {"a.caf", {"-c:a", "alac"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = make(c.name, c.args);
        if (file.empty()) continue;
        EXPECT_FALSE(stagesReadAsIs(file));
        DecodeReport report;
        const Wav w = decode(file, report);
        EXPECT_EQ(w.channels, 2);
        EXPECT_EQ(w.rate, 44100);
        EXPECT_EQ(w.samples, source);
        EXPECT_EQ(report.channelsIn, 2);
        EXPECT_EQ(report.sampleRateIn, 44100);
        EXPECT_EQ(report.framesOut, 44100);
        EXPECT_FALSE(report.clipped);
        EXPECT_FALSE(report.mixedDown);
        EXPECT_FALSE(report.endedEarly);
        EXPECT_EQ(report.skippedPackets, 0);
        EXPECT_EQ(report.note, "");
    }
}

TEST_F(Decoded, DeeperAndFloatSamplesComeWithinOneStep) {
    NEED_FFMPEG();
    for (const auto& [name, codec, bits, isFloat] :
         {std::tuple{"s24.wav", "pcm_s24le", 24, false},
          std::tuple{"s32.wav", "pcm_s32le", 32, false},
          std::tuple{"f32.wav", "pcm_f32le", 32, true},
          std::tuple{"f64.wav", "pcm_f64le", 64, true}}) {
        SCOPED_TRACE(name);
        const std::string file = make(name, {"-c:a", codec});
        if (file.empty()) continue;
        EXPECT_FALSE(stagesReadAsIs(file));
        const Result<AudioInfo> info = probeAudio(file);
        ASSERT_TRUE(info) << info.message();
        EXPECT_EQ(info->bitsPerSample, bits);
        EXPECT_EQ(info->floatingPoint, isFloat);
        EXPECT_EQ(info->frames, 44100);
        DecodeReport report;
        const Wav w = decode(file, report);
        ASSERT_EQ(w.samples.size(), source.size());
        EXPECT_LE(maxDifference(w.samples, source), 1);
        EXPECT_FALSE(report.clipped);
    }
}

TEST_F(Decoded, EightBitSamplesAreScaledUp) {
    NEED_DECODER();
    const std::vector<int16_t> values = {-32768, -256, 0, 256, 32512, 1000, -1000};
    std::vector<int16_t> many;
    for (int i = 0; i < 100; ++i) many.insert(many.end(), values.begin(), values.end());
    const std::string file = dir.file("eight.wav");
    writeFile(file, makeWav(many, {.sampleRate = 22050, .bits = 8}));
    EXPECT_TRUE(stagesReadAsIs(file));
    DecodeReport report;
    const Wav w = decode(file, report);
    ASSERT_EQ(w.samples.size(), many.size());
    for (size_t i = 0; i < many.size(); ++i) {
        ASSERT_EQ(w.samples[i], (many[i] >> 8) * 256) << i;  // 8 bits kept, shifted up
    }
}

TEST_F(Decoded, HighRatesAreKept) {
    NEED_FFMPEG();
    const auto hi = twoTones(96000, 0.5);
    const std::string wav = dir.file("hi.wav");
    writeFile(wav, makeWav(hi, {.sampleRate = 96000, .channels = 2}));
    const std::string flac = make("hi.flac", {"-c:a", "flac", "-sample_fmt", "s32"}, wav);
    ASSERT_FALSE(flac.empty());
    const Result<AudioInfo> info = probeAudio(flac);
    ASSERT_TRUE(info) << info.message();
    EXPECT_EQ(info->bitsPerSample, 24);
    EXPECT_EQ(info->sampleRate, 96000);
    EXPECT_NE(info->format.find("flac"), std::string::npos) << info->format;
    DecodeReport report;
    const Wav w = decode(flac, report);
    EXPECT_EQ(w.rate, 96000);
    EXPECT_EQ(w.samples, hi);
    EXPECT_NEAR(pitch(channel(w.samples, 2, 0), 96000), 440, 1);
}

// ---- Lossy files: the tones' pitch and about the right length.

TEST_F(Decoded, LossyFilesKeepPitchAndLength) {
    NEED_FFMPEG();
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int rate;
    };
    const std::vector<Case> cases = {
        {"a.ogg", {"-c:a", "libvorbis", "-q:a", "5"}, 44100},
        {"a.opus", {"-c:a", "libopus", "-b:a", "128k"}, 48000},
        {"a.mp3", {"-c:a", "libmp3lame", "-b:a", "160k"}, 44100},
        {"a.m4a", {"-c:a", "aac", "-b:a", "160k"}, 44100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string file = make(c.name, c.args);
        if (file.empty()) continue;
        const Result<AudioInfo> info = probeAudio(file);
        ASSERT_TRUE(info) << info.message();
        EXPECT_EQ(info->bitsPerSample, 0);
        EXPECT_EQ(info->channels, 2);
        DecodeReport report;
        const Wav w = decode(file, report);
        EXPECT_EQ(w.channels, 2);
        EXPECT_EQ(w.rate, c.rate);
        EXPECT_NEAR(static_cast<double>(w.frames()) / w.rate, 1.0, 0.06);
        EXPECT_NEAR(pitch(channel(w.samples, 2, 0), w.rate), 440, 2);
        EXPECT_NEAR(pitch(channel(w.samples, 2, 1), w.rate), 660, 2);
        EXPECT_NEAR(rms(channel(w.samples, 2, 0)), 12000 / std::sqrt(2.0), 12000 * 0.1);
        EXPECT_FALSE(report.endedEarly) << report.note;
    }
}

TEST_F(Decoded, SoundOfAVideoFile) {
    NEED_FFMPEG();
    const std::string video =
        make("clip.mp4", {"-f", "lavfi", "-i", "testsrc=size=32x32:rate=5:duration=1", "-map",
                          "1:v", "-map", "0:a", "-c:v", "mpeg4", "-c:a", "aac", "-shortest"});
    ASSERT_FALSE(video.empty());
    DecodeReport report;
    const Wav w = decode(video, report);
    EXPECT_EQ(w.channels, 2);
    EXPECT_NEAR(pitch(channel(w.samples, 2, 1), w.rate), 660, 2);

    const std::string silent =
        make("silent.mp4", {"-f", "lavfi", "-i", "testsrc=size=32x32:rate=5:duration=1", "-map",
                            "1:v", "-c:v", "mpeg4"});
    ASSERT_FALSE(silent.empty());
    EXPECT_NE(refused(silent).find("no audio in"), std::string::npos);
}

// ---- More than two channels: a mono mix.

// Six channels in the order FL FR FC LFE and two surround ones: a tone in
// `at` only, and a loud low hum in the LFE channel.
std::vector<int16_t> sixChannels(int at, double freq, double amplitude) {
    const auto t = test::tone(freq, 0.5, amplitude, 44100);
    const auto hum = test::tone(50, 0.5, 20000, 44100);
    std::vector<int16_t> s(t.size() * 6, 0);
    for (size_t i = 0; i < t.size(); ++i) {
        s[6 * i + static_cast<size_t>(at)] = t[i];
        if (at != 3) s[6 * i + 3] = hum[i];
    }
    return s;
}

TEST_F(Decoded, SurroundIsMixedToMono) {
    NEED_FFMPEG();
    const double total = 2 + 3 * std::sqrt(0.5);  // FL FR + FC and two surrounds; LFE left out
    for (const auto& [mask, layout] :
         {std::pair{0x3Fu, "5.1 (back)"}, std::pair{0x60Fu, "5.1 (side)"}}) {
        for (const auto& [at, weight] :
             {std::pair{2, std::sqrt(0.5)}, std::pair{0, 1.0}, std::pair{5, std::sqrt(0.5)}}) {
            SCOPED_TRACE(std::string(layout) + ", tone in channel " + std::to_string(at));
            const auto six = sixChannels(at, 440, 20000);
            const std::string wav = dir.file("six.wav");
            writeFile(wav, riff(chunk("fmt ", extensibleFmt(6, 44100, 16, mask)) +
                                chunk("data", pcm16(six))));
            EXPECT_FALSE(stagesReadAsIs(wav));
            std::vector<std::string> files = {wav};
            if (at == 2) {  // the centre alone, also as FLAC
                files.push_back(make("six.flac", {}, wav));
                ASSERT_FALSE(files.back().empty());
            }
            for (const std::string& file : files) {
                DecodeReport report;
                const Wav w = decode(file, report);
                EXPECT_EQ(w.channels, 1);
                EXPECT_TRUE(report.mixedDown);
                EXPECT_EQ(report.channelsIn, 6);
                ASSERT_EQ(w.samples.size(), six.size() / 6);
                for (size_t i = 0; i < w.samples.size(); ++i) {
                    const double expected = six[6 * i + static_cast<size_t>(at)] * weight / total;
                    ASSERT_NEAR(w.samples[i], expected, 0.5 + 1e-9) << file << " at " << i;
                }
                EXPECT_NEAR(pitch(channel(w.samples, 1, 0), 44100), 440, 1);
            }
        }
    }
}

TEST_F(Decoded, ChannelsOfUnknownPlaceAreAveraged) {
    NEED_DECODER();
    // Format 1 with six channels gives no places; so does a mask of 0.
    const auto six = sixChannels(1, 440, 24000);
    for (const std::string& fmt : {fmtBody(1, 6, 44100, 16), extensibleFmt(6, 44100, 16, 0)}) {
        const std::string wav = dir.file("plain-six.wav");
        writeFile(wav, riff(chunk("fmt ", fmt) + chunk("data", pcm16(six))));
        DecodeReport report;
        const Wav w = decode(wav, report);
        ASSERT_EQ(w.samples.size(), six.size() / 6);
        for (size_t i = 0; i < w.samples.size(); ++i) {
            const double sum = six[6 * i + 1] + six[6 * i + 3];
            ASSERT_NEAR(w.samples[i], sum / 6, 0.5 + 1e-9) << i;
        }
    }
}

// ---- Clipping.

TEST_F(Decoded, FloatValuesBeyondTheRangeAreClampedAndCounted) {
    NEED_DECODER();
    const std::vector<float> values = {0.5f, 1.5f,   -1.5f, -1.0f,         0.99999f,
                                       1.0f, -0.25f, 0.0f,  std::nanf(""), 1e30f};
    const std::vector<int16_t> expected = {16384, 32767, -32768, -32768, 32767,
                                           32767, -8192, 0,      0,      32767};
    const int beyond = 5;  // 1.5, -1.5, 1.0, not a number, 1e30
    std::vector<float> samples;
    for (int i = 0; i < 200; ++i) samples.insert(samples.end(), values.begin(), values.end());
    const std::string file = dir.file("loud.wav");
    writeFile(file,
              riff(chunk("fmt ", fmtBody(3, 1, 44100, 32)) + chunk("data", float32(samples))));
    DecodeReport report;
    const Wav w = decode(file, report);
    ASSERT_EQ(w.samples.size(), samples.size());
    for (size_t i = 0; i < w.samples.size(); ++i) {
        ASSERT_EQ(w.samples[i], expected[i % values.size()]) << i;
    }
    EXPECT_TRUE(report.clipped);
    EXPECT_EQ(report.clippedSamples, 200 * beyond);

    // Within the range nothing is counted.
    std::vector<float> quiet(1000, 0.25f);
    writeFile(file, riff(chunk("fmt ", fmtBody(3, 1, 44100, 32)) + chunk("data", float32(quiet))));
    const Wav q = decode(file, report);
    EXPECT_FALSE(report.clipped);
    EXPECT_EQ(report.clippedSamples, 0);
    EXPECT_EQ(q.samples, std::vector<int16_t>(1000, 8192));
}

// ---- Files cut short.

TEST_F(Decoded, CutFilesKeepWhatCameBeforeTheCut) {
    NEED_FFMPEG();
    for (const char* name : {"cut.flac", "cut.mp3"}) {
        SCOPED_TRACE(name);
        const bool lossless = std::string(name) == "cut.flac";
        const std::string file = make(
            name, lossless ? std::vector<std::string>{} : std::vector<std::string>{"-b:a", "128k"});
        ASSERT_FALSE(file.empty());
        const std::string whole = readFile(file);
        writeFile(file, whole.substr(0, whole.size() * 6 / 10));
        DecodeReport report;
        const Wav w = decode(file, report);
        EXPECT_TRUE(report.endedEarly);
        EXPECT_NE(report.note.find(file), std::string::npos) << report.note;
        EXPECT_GT(w.frames(), 44100 * 4 / 10);
        EXPECT_LT(w.frames(), 44100 * 8 / 10);
        if (lossless) {
            const std::vector<int16_t> start(source.begin(),
                                             source.begin() + static_cast<long>(w.samples.size()));
            EXPECT_EQ(w.samples, start);
        } else {
            EXPECT_NEAR(pitch(channel(w.samples, 2, 0), 44100), 440, 2);
        }
    }
}

TEST_F(Decoded, FilesCutWithinTheirHeaderAreRefused) {
    NEED_FFMPEG();
    const std::string flac = make("head.flac", {});
    ASSERT_FALSE(flac.empty());
    writeFile(flac, readFile(flac).substr(0, 60));
    EXPECT_NE(refused(flac).find("cut short"), std::string::npos);
}

TEST_F(Decoded, DamagedPacketsAreLeftOut) {
    NEED_FFMPEG();
    const std::string mp3 = make("damaged.mp3", {"-b:a", "128k"});
    ASSERT_FALSE(mp3.empty());
    std::string b = readFile(mp3);
    uint32_t seed = 99;
    for (size_t i = b.size() / 3; i < b.size() * 2 / 3; i += 37) {
        seed = seed * 1664525u + 1013904223u;
        b[i] = static_cast<char>(seed >> 24);
    }
    writeFile(mp3, b);
    DecodeReport report;
    const Wav w = decode(mp3, report);
    EXPECT_GT(w.frames(), 44100 / 3);
    EXPECT_NEAR(pitch(channel(w.samples, 2, 0), 44100), 440, 2);
    EXPECT_NE(report.note.find(mp3), std::string::npos) << report.note;
    EXPECT_TRUE(report.skippedPackets > 0 || report.endedEarly) << report.note;
}

TEST_F(Decoded, WavShorterThanItsHeaderSays) {
    NEED_DECODER();
    const std::string file = dir.file("short.wav");
    const std::string whole = makeWav(source, {.channels = 2});
    writeFile(file, whole.substr(0, 44 + 4 * 22050));
    DecodeReport report;
    const Wav w = decode(file, report);
    EXPECT_EQ(w.frames(), 22050);
    EXPECT_TRUE(report.endedEarly);
    EXPECT_NE(report.note.find("cut short"), std::string::npos) << report.note;
}

// ---- Refusals.

TEST_F(Decoded, UnreadableInputsAreRefusedWithAReason) {
    NEED_DECODER();
    EXPECT_NE(refused(dir.file("missing.flac")).find("No such file"), std::string::npos);
    EXPECT_NE(refused(dir.path()).find("folder"), std::string::npos);

    const std::string text = dir.file("notes.mp3");
    writeFile(text, std::string(3000, 'a') + "not a sound at all");
    EXPECT_NE(refused(text).find("not an audio or video file"), std::string::npos);

    const std::string empty = dir.file("empty.ogg");
    writeFile(empty, "");
    EXPECT_NE(refused(empty).find("the file is empty"), std::string::npos);

    const std::string noSamples = dir.file("nosamples.wav");
    writeFile(noSamples, makeWav({}, {.channels = 2}));
    EXPECT_NE(refused(noSamples).find("no audio in"), std::string::npos);
}

TEST_F(Decoded, OnlyTheFileNamedIsRead) {
    NEED_DECODER();
    // Lists that name a good file beside them: what they name is not opened.
    const std::string concat = dir.file("list.ffconcat");
    writeFile(concat, "ffconcat version 1.0\nfile source.wav\n");
    refused(concat);
    const std::string playlist = dir.file("list.m3u8");
    writeFile(playlist,
              "#EXTM3U\n#EXT-X-TARGETDURATION:1\n#EXTINF:1,\nsource.wav\n#EXT-X-ENDLIST\n");
    refused(playlist);
}

TEST_F(Decoded, AbsurdHeadersAreRefused) {
    NEED_DECODER();
    const std::string data = pcm16(std::vector<int16_t>(4000, 100));
    const std::string file = dir.file("absurd.wav");
    writeFile(file, riff(chunk("fmt ", fmtBody(1, 2, 8000, 16)) + chunk("data", data)));
    EXPECT_NE(refused(file).find("8000 Hz: the analysis needs at least 11025 Hz"),
              std::string::npos);
    writeFile(file, riff(chunk("fmt ", fmtBody(1, 2, 0, 16)) + chunk("data", data)));
    refused(file);
    writeFile(file, riff(chunk("fmt ", fmtBody(1, 65535, 44100, 16)) + chunk("data", data)));
    EXPECT_NE(refused(file).find("65535 channels"), std::string::npos);
    writeFile(file, riff(chunk("fmt ", fmtBody(1, 100, 44100, 16)) + chunk("data", data)));
    EXPECT_NE(refused(file).find("100 channels"), std::string::npos);
    writeFile(file, riff(chunk("fmt ", fmtBody(1, 1, 2000000, 16)) + chunk("data", data)));
    EXPECT_NE(refused(file).find("2000000 Hz"), std::string::npos);

    const std::string cafFile = dir.file("absurd.caf");
    writeFile(cafFile, caf(44100, 1000000000, data));
    EXPECT_NE(refused(cafFile).find("1000000000 channels"), std::string::npos);
    writeFile(cafFile, caf(0, 2, data));
    EXPECT_NE(refused(cafFile).find("0 Hz"), std::string::npos);
    writeFile(cafFile, caf(1e300, 2, data));
    EXPECT_NE(refused(cafFile).find("at most 768000 Hz"), std::string::npos);
    writeFile(cafFile, caf(44100, 2, data));
    DecodeReport report;
    decode(cafFile, report);
    EXPECT_EQ(report.framesOut, 2000) << "the hand-made CAF file itself is sound";
}

TEST_F(Decoded, TooLongForOneWavFile) {
    NEED_FFMPEG();
    const std::string flac = make("long.flac", {});
    ASSERT_FALSE(flac.empty());
    std::string b = readFile(flac);
    ASSERT_EQ(b.substr(0, 4), "fLaC");
    // STREAMINFO's 36-bit sample count: the most it can say (18 days at 44.1 kHz).
    b[21] = static_cast<char>(b[21] | 0x0F);
    for (int i = 22; i < 26; ++i) b[static_cast<size_t>(i)] = static_cast<char>(0xFF);
    writeFile(flac, b);
    const std::string error = refused(flac);
    EXPECT_NE(error.find("3 h 22 min at 44100 Hz in stereo"), std::string::npos) << error;
}

TEST_F(Decoded, TheOutputIsReplacedOnlyOnSuccess) {
    NEED_DECODER();
    const std::string out = dir.file("out.wav");
    writeFile(out, "old");
    const std::string bad = dir.file("bad.wav");
    writeFile(bad, "RIFF....WAVEnothing");
    EXPECT_FALSE(decodeToWav(bad, out));
    EXPECT_EQ(readFile(out), "old");
    const Result<DecodeReport> noFolder =
        decodeToWav(sourceWav, dir.file("no/such/folder/out.wav"));
    EXPECT_FALSE(noFolder);
    EXPECT_NE(noFolder.message().find("no/such/folder/out.wav"), std::string::npos)
        << noFolder.message();
    const Result<DecodeReport> decoded = decodeToWav(sourceWav, out);
    EXPECT_TRUE(decoded) << decoded.message();
    EXPECT_EQ(readWav(out).samples, source);
}

TEST_F(Decoded, SeveralThreadsAtOnce) {
    NEED_DECODER();
    const auto six = sixChannels(2, 440, 20000);
    const std::string surround = dir.file("t-six.wav");
    writeFile(surround,
              riff(chunk("fmt ", extensibleFmt(6, 44100, 16, 0x3F)) + chunk("data", pcm16(six))));
    std::vector<float> f(20000);
    for (size_t i = 0; i < f.size(); ++i)
        f[i] = static_cast<float>(std::sin(0.01 * static_cast<double>(i)) * 1.2);
    const std::string loud = dir.file("t-float.wav");
    writeFile(loud, riff(chunk("fmt ", fmtBody(3, 1, 44100, 32)) + chunk("data", float32(f))));
    const std::string bad = dir.file("t-bad.wav");
    writeFile(bad, "RIFF");

    // Each file alone, then all of them at once, several times over.
    const std::vector<std::string> inputs = {sourceWav, surround, loud, bad};
    std::vector<std::string> alone;
    for (const std::string& in : inputs) {
        const Result<DecodeReport> decoded = decodeToWav(in, in + ".alone.wav");
        alone.push_back(readFile(in + ".alone.wav") + decoded.message() +
                        (decoded ? decoded->note : ""));
    }
    std::vector<std::string> together(inputs.size() * 3);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < together.size(); ++t) {
        threads.emplace_back([&, t] {
            const std::string& in = inputs[t % inputs.size()];
            const std::string out = in + "." + std::to_string(t) + ".wav";
            const Result<DecodeReport> decoded = decodeToWav(in, out);
            together[t] = readFile(out) + decoded.message() + (decoded ? decoded->note : "");
        });
    }
    for (std::thread& t : threads) t.join();
    for (size_t t = 0; t < together.size(); ++t) {
        EXPECT_EQ(together[t], alone[t % inputs.size()]) << inputs[t % inputs.size()];
    }
    EXPECT_NE(alone[3].find("t-bad.wav"), std::string::npos) << "the refusal is compared too";
}

// ---- Progress and probing.

TEST_F(Decoded, ProgressRisesToOne) {
    NEED_FFMPEG();
    const std::string flac = make("p.flac", {});
    ASSERT_FALSE(flac.empty());
    std::vector<double> shares;
    const Result<DecodeReport> decoded =
        decodeToWav(flac, dir.file("p.wav"), [&](double s) { shares.push_back(s); });
    ASSERT_TRUE(decoded) << decoded.message();
    ASSERT_GE(shares.size(), 3u);
    EXPECT_EQ(shares.front(), 0.0);
    EXPECT_EQ(shares.back(), 1.0);
    for (size_t i = 1; i < shares.size(); ++i) EXPECT_GE(shares[i], shares[i - 1]);
    // No progress callback at all is fine too.
    const Result<DecodeReport> quiet = decodeToWav(flac, dir.file("p.wav"));
    EXPECT_TRUE(quiet) << quiet.message();
}

TEST_F(Decoded, ProbeDescribesTheStream) {
    NEED_DECODER();
    const Result<AudioInfo> info = probeAudio(sourceWav);
    ASSERT_TRUE(info) << info.message();
    EXPECT_EQ(info->format, "pcm_s16le in wav");
    EXPECT_EQ(info->channels, 2);
    EXPECT_EQ(info->sampleRate, 44100);
    EXPECT_EQ(info->bitsPerSample, 16);
    EXPECT_FALSE(info->floatingPoint);
    EXPECT_EQ(info->frames, 44100);

    const Result<AudioInfo> missing = probeAudio(dir.file("missing.wav"));
    EXPECT_FALSE(missing);
    EXPECT_NE(missing.message().find(dir.file("missing.wav")), std::string::npos)
        << missing.message();
}

}  // namespace
}  // namespace sonvola
