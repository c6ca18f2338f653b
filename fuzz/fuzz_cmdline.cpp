// The command-line handling of every program on fuzzed words: the stages'
// argument checks, sonvola-transcribe's options and the front end's
// argument texts and command-line split.
#include <string>
#include <vector>

#include "frontend/core/launcher.h"
#include "notefind/notefind_run.h"
#include "specscan/specscan_run.h"
#include "tools/transcribe.h"
#include "trackjoin/trackjoin_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace sonvola;
    // Words separated by NUL bytes, as argv holds them.
    std::vector<std::string> words{"program"};
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            words.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    words.push_back(current);
    std::vector<char*> argv;
    for (auto& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int argc = static_cast<int>(words.size());
    (void)parseSpecScanArguments(argc, argv.data());
    (void)parseTrackJoinArguments(argc, argv.data());
    NoteFindParameters n;
    (void)parseNoteFindArguments(argc, argv.data(), n);
    std::vector<std::string> options(words.begin() + 1, words.end());
    if (auto o = parseTranscribeOptions(options)) {
        specScanArguments(*o, o->recording);
        noteFindArguments(*o);
    }
    const std::string joined = joinArguments(options, ListEnd::AtBlank);
    splitCommandLine(joined);
    splitCommandLine(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
