// The MIDI file reader of sonvola-eval on fuzzed bytes, and the scores.
#include <vector>

#include "common/midifile.h"
#include "tools/evaluate.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    Result<MidiFile> file = parseMidi(std::vector<uint8_t>(data, data + size));
    if (!file) return 0;
    std::vector<EvalNote> notes;
    for (const MidiNote& n : midiNotes(*file))
        notes.push_back({n.onsetS, n.offsetS, double(n.key)});
    if (notes.size() < 500) evaluateNotes(notes, notes, EvalTolerances{});
    return 0;
}
