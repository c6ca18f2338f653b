// Writes the seed corpora of the fuzz targets from the test generators:
//   fuzz_make_seeds OUTPUT_DIR
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/peaktables.h"
#include "tests/support/wavgen.h"

namespace {

void put(const std::filesystem::path& dir, const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << bytes;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace sonvola::test;
    if (argc < 2) return 2;
    const std::filesystem::path out = argv[1];
    const auto tone = sonvola::test::tone(440, 0.02, 8000, 11025);
    put(out / "wav", "mono16.wav", makeWav(tone, {.sampleRate = 11025}));
    put(out / "wav", "stereo8.wav",
        makeWav(std::vector<int16_t>(64, 300), {.sampleRate = 22050, .channels = 2, .bits = 8}));
    put(out / "wav", "longfmt_list.wav",
        makeWav(std::vector<int16_t>(16, 7), {.fmtChunkSize = 18, .listChunkBeforeData = true}));
    put(out / "wav", "empty.wav", makeWav({}, {}));
    put(out / "wav", "oversized.wav",
        makeWav(std::vector<int16_t>(8, 1), {.dataSizeOverride = 0xFFFFFFFF}));

    const std::string peaks = peakFileText(48.5f, 10.2f, 10, 4, "/music/a song.wav",
                                           {{10, {{440.0f, 30.0f}, {880.0f, 20.0f}}},
                                            {20, {{441.0f, 31.0f}}},
                                            {30, {}},
                                            {40, {{443.0f, 29.0f}, {1320.0f, 12.5f}}}});
    const std::string lumps = peakFileText(
        -3, -63, 10, 400, "/music/a song.wav",
        {{0, {{440.0f, -20.0f}, {441.0f, -21.0f}, {443.0f, -22.0f}, {444.0f, -22.0f}}},
         {40, {{446.0f, -20.0f}, {446.0f, -20.0f}, {446.0f, -20.0f}, {446.0f, -20.0f}}},
         {70, {{987.77f, -3.0f}, {988.0f, -4.0f}, {987.0f, -5.0f}, {989.0f, -6.0f}}}});
    for (const char* target : {"peaklist", "trackjoin", "notefind", "plot"}) {
        put(out / target, "peaks.txt", peaks);
        put(out / target, "lumps.txt", lumps);
        put(out / target, "empty.txt", peakFileText(1, 2, 10, 0, "x.wav", {}));
    }
    put(out / "scoretosmf", "example.txt",
        "tracks 2\n\ntrack{\n0   tempo 120\n0   rhythm 4 / 4\n}\n\ntrack{\n0   tone 1\n100   a-3 "
        "90\n500   a-3 0\n}\n");
    put(out / "scoretosmf", "chord.txt",
        "tracks 2 track{ 0 tempo 90 0 rhythm 6 / 8 } track{ 0 tone 41 0 c-3 70 0 e-3 60 300 e-3 0 "
        "100 c-3 0 }");
    put(out / "pianoroll", "chord.txt",
        "tracks 2 track{ 0 tempo 90 0 rhythm 6 / 8 } track{ 0 tone 41 0 c-3 70 0 e-3 60 300 e-3 0 "
        "100 c-3 0 }");
    put(out / "refine", "example.txt",
        "tracks 2\n\ntrack{\n0   tempo 120\n0   rhythm 4 / 4\n}\n\ntrack{\n0   tone 1\n100   a-3 "
        "126\n0   a-4 104\n"
        "10   e-5 90\n490   a-3 0\n0   a-4 0\n0   e-5 0\n}\n");
    put(out / "evidence", "example.txt",
        "MaxdB: 40.00 MindB: 10.00  \nFrameRate: 10 LoopCount: 3\nx.wav\n---\n"
        "10: 110.00 30.00 220.00 28.00 end\n20: 110.00 29.00 220.00 27.00 end\n"
        "30: 220.00 26.00 end\nend_of_file\n%%\n"
        "MaxdB: 40.00 MindB: 10.00  \nFrameRate: 10 LoopCount: 2\nx.wav\n---\n"
        "10: 110.00 30.00 110.00 29.00 end\n10: 220.00 28.00 220.00 27.00 220.00 26.00 end\n"
        "end_of_file\n%%\n"
        "tracks 2 track{ 0 tempo 120 } track{ 0 tone 1 10 a-1 90 0 a-2 80 20 a-1 0 10 a-2 0 }");
    put(out / "midi", "one-note.mid",
        std::string("MThd\0\0\0\x06\0\x01\0\x01\x01\xE0MTrk\0\0\0\x0D\x60\x91\x45\x5A\x83\x60\x91"
                    "\x45\0\0\xFF\x2F\0",
                    35));
    put(out / "cmdline", "specscan",
        std::string("a.wav\0"
                    "10\0"
                    "_msec\0"
                    "512\0"
                    "_点\0"
                    "4096\0"
                    "_点\0"
                    "ハミング窓",
                    46));
    put(out / "cmdline", "notefind",
        std::string("120\0_tempo\0"
                    "128\0_分音符\0"
                    "4\0/\0"
                    "4\0"
                    "1",
                    33));
    // The decoder: WAV files it converts (24 bits, float, 6 channels) and one it copies.
    put(out / "decode", "s24.wav",
        makeWavBytes(std::string("\x00\x10\x20\x00\xF0\xDF\x7F\xFF\x7F\x00\x00\x80", 12),
                     {.sampleRate = 22050, .bits = 24}));
    std::string floatWav = makeWavBytes(std::string("\x00\x00\xC0\x3F\x00\x00\x00\xBF", 8),
                                        {.sampleRate = 44100, .bits = 32});
    floatWav[20] = 3;
    put(out / "decode", "f32.wav", floatWav);
    put(out / "decode", "six.wav",
        makeWav(sonvola::test::tone(440, 0.01, 9000, 44100, 6), {.channels = 6}));
    put(out / "decode", "stereo.wav",
        makeWav(sonvola::test::tone(440, 0.02, 9000, 11025, 2),
                {.sampleRate = 11025, .channels = 2, .listChunkBeforeData = true}));
    put(out / "cmdline", "transcribe",
        std::string("a.wav\0--tempo\0"
                    "96\0--time-signature\0"
                    "3/4",
                    36));
    return 0;
}
