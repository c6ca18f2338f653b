#include "scoretosmf/smf.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/midifile.h"

namespace sonvola {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kExample =
    "tracks 2\n\ntrack{\n0   tempo 120\n0   rhythm 4 / 4\n}\n\n"
    "track{\n0   tone 1\n100   a-3 90\n500   a-3 0\n}\n";

Bytes convert(const std::string& score, Status* result = nullptr) {
    Bytes midi;
    Status r = convertScoreToSmf(score, midi);
    if (result)
        *result = r;
    else
        EXPECT_TRUE(r.ok()) << r.message();
    return midi;
}

// The bytes of the note track (track 1) after its 8-byte chunk head.
Bytes noteTrack(const Bytes& midi) {
    const size_t t0 = 14;
    const size_t len0 =
        (midi[t0 + 4] << 24) | (midi[t0 + 5] << 16) | (midi[t0 + 6] << 8) | midi[t0 + 7];
    const size_t t1 = t0 + 8 + len0;
    return Bytes(midi.begin() + static_cast<long>(t1) + 8, midi.end());
}

TEST(Smf, WorkedExampleByteForByte) {
    const Bytes expected = {
        0x4D, 0x54, 0x68, 0x64, 0x00, 0x00, 0x00, 0x06, 0x00, 0x01, 0x00, 0x02, 0x01, 0xE0,
        // track 0
        0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x13, 0x00, 0xFF, 0x51, 0x03, 0x07, 0xA1, 0x20,
        0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08, 0x00, 0xFF, 0x2F, 0x00,
        // track 1
        0x4D, 0x54, 0x72, 0x6B, 0x00, 0x00, 0x00, 0x10, 0x00, 0xC1, 0x00, 0x60, 0x91, 0x45, 0x5A,
        0x83, 0x60, 0x91, 0x45, 0x00, 0x00, 0xFF, 0x2F, 0x00};
    const Bytes midi = convert(kExample);
    EXPECT_EQ(midi, expected) << hexDump(midi);
    Result<MidiFile> parsed = parseMidi(midi);
    ASSERT_TRUE(parsed.ok()) << parsed.message();
    const MidiFile& f = *parsed;
    EXPECT_EQ(f.tracksRead, 2);
}

TEST(Smf, OneLineScoreConvertsLikeTheLaidOutOne) {
    std::string oneLine = kExample;
    for (char& c : oneLine) {
        if (c == '\n') c = ' ';
    }
    EXPECT_EQ(convert(oneLine), convert(kExample));
    std::string tabs = kExample;
    for (char& c : tabs) {
        if (c == ' ') c = '\t';
    }
    EXPECT_EQ(convert(tabs), convert(kExample));
}

TEST(Smf, TempoAndTimeSignatureBytes) {
    EXPECT_EQ(tempoBytes(120), (Bytes{0x07, 0xA1, 0x20}));
    EXPECT_EQ(tempoBytes(90), (Bytes{0x0A, 0x2C, 0x2A}));
    const Bytes m = convert("tracks 1 track{ 0 rhythm 6 / 8 0 tempo 120.5 }");
    const Bytes track(m.begin() + 22, m.end());
    EXPECT_EQ(track, (Bytes{0x00, 0xFF, 0x58, 0x04, 0x06, 0x03, 0x18, 0x08, 0x00, 0xFF, 0x51, 0x03,
                            0x07, 0xA1, 0x20, 0x00, 0xFF, 0x2F, 0x00}))
        << hexDump(track);
}

TEST(Smf, VelocityIsLimitedAndKeysFollowTheNames) {
    const Bytes t = noteTrack(
        convert("tracks 2 track{ 0 tempo 120 } track{ 0 c-0 200 0 g-8 1 0 c#3 5 0 b-2 -0 }"));
    EXPECT_EQ(t, (Bytes{0x00, 0x91, 24,   0x7F, 0x00, 0x91, 127,  1,    0x00, 0x91,
                        61,   5,    0x00, 0x91, 59,   0,    0x00, 0xFF, 0x2F, 0x00}))
        << hexDump(t);
}

TEST(Smf, DeltasInTicksWithTheFullVariableLengthQuantity) {
    // 10 ms at 120 bpm: 9.6 ticks, 9 written.
    Bytes t = noteTrack(convert("tracks 2 track{ 0 tempo 120 } track{ 10 a-3 1 }"));
    EXPECT_EQ(t[0], 9);
    // 20000 ms: 19200 ticks, a three-byte quantity.
    t = noteTrack(convert("tracks 2 track{ 0 tempo 120 } track{ 20000 a-3 1 }"));
    EXPECT_EQ(Bytes(t.begin(), t.begin() + 3), (Bytes{0x81, 0x96, 0x00})) << hexDump(t);
    Bytes v;
    appendVariableLength(v, 0x0FFFFFFF);
    EXPECT_EQ(v, (Bytes{0xFF, 0xFF, 0xFF, 0x7F}));
    v.clear();
    appendVariableLength(v, 480);
    EXPECT_EQ(v, (Bytes{0x83, 0x60}));
    v.clear();
    appendVariableLength(v, 127);
    EXPECT_EQ(v, (Bytes{0x7F}));
}

TEST(Smf, ManyShortDeltasDoNotDrift) {
    std::string score = "tracks 2 track{ 0 tempo 90 } track{ ";
    for (int i = 0; i < 5000; ++i) score += "7 a-3 1 3 a-3 0 ";
    score += "}";
    Result<MidiFile> parsed = parseMidi(convert(score));
    ASSERT_TRUE(parsed.ok()) << parsed.message();
    const MidiFile& f = *parsed;
    const double exactTicks = 5000 * 10 / (60000.0 / 90) * 480;
    int64_t last = 0;
    for (const auto& e : f.events) last = std::max(last, e.tick);
    EXPECT_LE(std::fabs(static_cast<double>(last) - exactTicks), 1.0);
}

TEST(Smf, TempoOfTheConductorGovernsLaterTracks) {
    // No tempo at all: 500 ms per quarter; 500 ms is 480 ticks.
    Bytes t = noteTrack(convert("tracks 2 track{ } track{ 500 a-3 1 }"));
    EXPECT_EQ(Bytes(t.begin(), t.begin() + 2), (Bytes{0x83, 0x60}));
    t = noteTrack(convert("tracks 2 track{ 0 tempo 60 } track{ 500 a-3 1 }"));
    EXPECT_EQ(Bytes(t.begin(), t.begin() + 2), (Bytes{0x81, 0x70}));  // 240 ticks
}

TEST(Smf, TrackCountBeyondTheBlocksKeepsTheCompleteTracks) {
    Status r;
    const Bytes midi = convert("tracks 3 track{ 0 tempo 120 } track{ 0 tone 1 }", &r);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.message(), "err: MIDI track error -> }\n");
    EXPECT_EQ(midi[11], 3);
    Result<MidiFile> parsed = parseMidi(midi);
    ASSERT_TRUE(parsed.ok()) << parsed.message();
    const MidiFile& f = *parsed;
    EXPECT_EQ(f.tracksRead, 2);
}

struct BadScore {
    const char* name;
    std::string score;
    std::string message;  // part of the error line
};

void PrintTo(const BadScore& b, std::ostream* os) {
    *os << b.name;
}

class SmfRefusal : public ::testing::TestWithParam<BadScore> {};

TEST_P(SmfRefusal, IsReportedWithTheToken) {
    Status r;
    convert(GetParam().score, &r);
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.message().rfind("err: ", 0), 0u) << r.message();
    EXPECT_NE(r.message().find(GetParam().message), std::string::npos) << r.message();
}

std::string seventeenTracks() {
    std::string s = "tracks 17 ";
    for (int i = 0; i < 16; ++i) s += "track{ } ";
    return s + "track{ 0 tone 1 }";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SmfRefusal,
    ::testing::Values(
        BadScore{"no_header", "track{ }", "does not begin with \"tracks\""},
        BadScore{"count_not_a_number", "tracks two track{ }", "\"two\" is not a number"},
        BadScore{"too_many_tracks", "tracks 256", "256 tracks"},
        BadScore{"not_a_track", "tracks 1 trak{ }", "MIDI track error -> trak{"},
        BadScore{"ends_inside_block", "tracks 1 track{ 0 tempo 120 10", "ends inside track 1"},
        BadScore{"ends_after_keyword", "tracks 1 track{ 0 tempo", "ends inside track 1"},
        BadScore{"tempo_zero", "tracks 1 track{ 0 tempo 0 }", "tempo \"0\""},
        BadScore{"key_above_127", "tracks 1 track{ 0 g#8 10 }", "\"g#8\" lies above"},
        BadScore{"program_zero", "tracks 1 track{ 0 tone 0 }", "program \"0\""},
        BadScore{"program_129", "tracks 1 track{ 0 tone 129 }", "program \"129\""},
        BadScore{"seventeenth_channel", seventeenTracks(), "MIDI has 16 channels"},
        BadScore{"negative_delta", "tracks 1 track{ -5 a-3 1 }", "delta \"-5\""},
        BadScore{"delta_too_long", "tracks 1 track{ 400000000 a-3 1 }", "delta \"400000000\""},
        BadScore{"long_token", "tracks 1 track{ " + std::string(300, '7') + " }",
                 "longer than 255"},
        BadScore{"zero_denominator", "tracks 1 track{ 0 rhythm 4 / 0 }", "4 / 0"}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace sonvola
