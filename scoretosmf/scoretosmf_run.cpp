#include "scoretosmf/scoretosmf_run.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/console.h"
#include "common/fileptr.h"
#include "common/outputfile.h"
#include "scoretosmf/smf.h"

namespace sonvola {

int runScoreToSmf(int argc, char** argv) {
    const char* scorePath = argc > 1 ? argv[1] : "";
    const char* midiPath = argc > 2 ? argv[2] : "";
    std::fputs("..Convert text into MIDI of format type 1\n", stdout);
    std::fputs("\n..Argument\n", stdout);
    std::fprintf(stdout, "TXT  : %s\n", scorePath);
    std::fprintf(stdout, "MIDI : %s\n", midiPath);
    std::fputs("\n[Automatic, chooses an endian and generates MIDI]\n\n", stdout);
    std::fputs("cpuInfo:\t", stdout);
    std::fputs("LITTLE Endian", stdout);
    std::fprintf(stdout, "\n        \t%d bit architecture\n", 32);
    if (argc < 3) {
        fatalError(stdout, "err: usage: ScoreToSmf SCORE.txt OUTPUT.mid\n");
    }

    FilePtr in(std::fopen(scorePath, "rb"));
    if (!in) {
        fatalError(stdout,
                   format("err: Cannot open file:%s\n%s\n", scorePath, std::strerror(errno)));
    }
    std::string score;
    char buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0) score.append(buf, n);
    in.reset();

    // The MIDI file is written beside its target and put in place when
    // complete. A score refused half-way still gives its complete tracks,
    // but only where no file stood: an earlier MIDI file is never replaced
    // by a broken one.
    OutputFile out;
    if (Status opened = out.open(midiPath); !opened) {
        fatalError(stdout,
                   format("err: Cannot open file:%s\n%s\n", midiPath, opened.message().c_str()));
    }
    std::vector<uint8_t> midi;
    const Status converted = convertScoreToSmf(score, midi);
    std::fwrite(midi.data(), 1, midi.size(), out.get());
    const Status written =
        out.commit(converted ? OutputFile::Replace::Always : OutputFile::Replace::OnlyIfAbsent);
    if (!converted) fatalError(stdout, converted.message());
    if (!written) fatalError(stdout, "err: " + written.message() + "\n");
    std::fputs("\n..Complete!", stdout);
    waitForReturnKey();
    return 0;
}

}  // namespace sonvola
