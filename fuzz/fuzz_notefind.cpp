// NoteFind on a fuzzed linked peak list: recognition and the score text.
#include "common/peakfile.h"
#include "fuzz/fuzz_util.h"
#include "notefind/recognize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    fuzz::PeakInput input;
    if (!fuzz::readPeakInput(data, size, input)) return 0;
    const PeakFileHeader& h = input.header;
    PeakTable& table = input.table;
    std::vector<NoteRecord> notes = recogniseNotes(table, h.frameRate, h.maxdB, fuzz::sink());
    writeScore(fuzz::sink(), notes, buildScoreEvents(notes), ScoreArguments{});
    return 0;
}
