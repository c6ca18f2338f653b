#include <cstdio>
#include <string>
#include <vector>

#include "common/console.h"
#include "tools/transcribe.h"

int main(int argc, char** argv) {
    sonvola::initConsole("sonvola-transcribe");
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string error;
    auto options = sonvola::parseTranscribeOptions(args, error);
    if (options && !options->help && !sonvola::checkTranscribeOptions(*options, error)) {
        std::fprintf(stderr,
                     "sonvola-transcribe: %s\n(sonvola-transcribe --help lists the options)\n",
                     error.c_str());
        return 2;
    }
    if (!options) {
        std::fprintf(stderr, "sonvola-transcribe: %s\n\n%s", error.c_str(),
                     sonvola::transcribeHelp().c_str());
        return 2;
    }
    if (options->help) {
        std::fputs(sonvola::transcribeHelp().c_str(), stdout);
        return 0;
    }
    return sonvola::runTranscribe(*options);
}
