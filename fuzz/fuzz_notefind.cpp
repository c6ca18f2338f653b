// NoteFind on a fuzzed linked peak list: recognition and the score text.
#include "common/peakfile.h"
#include "fuzz/fuzz_util.h"
#include "notefind/recognize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    fuzz::InputFile file(data, size);
    PeakFileHeader h;
    PeakTable table;
    if (!fuzz::readPeakFile(file.path(), h, table)) return 0;
    std::vector<NoteRecord> notes = recogniseNotes(table, h.frameRate, h.maxdB, fuzz::sink());
    writeScore(fuzz::sink(), notes, buildScoreEvents(notes), ScoreArguments{});
    return 0;
}
