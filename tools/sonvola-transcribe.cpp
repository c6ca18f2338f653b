#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/console.h"
#include "sonvola/version.h"
#include "tools/batch_run.h"
#include "tools/transcribe_run.h"

int main(int argc, char** argv) {
    sonvola::initConsole("sonvola-transcribe");
    std::vector<std::string> args(argv + 1, argv + argc);
    sonvola::Result<sonvola::TranscribeOptions> options = sonvola::parseTranscribeOptions(args);
    if (!options) {
        std::fprintf(stderr, "sonvola-transcribe: %s\n\n%s", options.message().c_str(),
                     sonvola::transcribeHelp().c_str());
        return 2;
    }
    if (!options->help && !options->version) {
        if (const sonvola::Status checked = sonvola::checkTranscribeOptions(*options); !checked) {
            std::fprintf(stderr,
                         "sonvola-transcribe: %s\n(sonvola-transcribe --help lists the options)\n",
                         checked.message().c_str());
            return 2;
        }
    }
    if (options->help) {
        std::fputs(sonvola::transcribeHelp().c_str(), stdout);
        return 0;
    }
    if (options->version) {
        std::printf("sonvola-transcribe %s\n", SONVOLA_VERSION);
        return 0;
    }
    // Several recordings, folders, a report or --skip-done: a run per recording.
    std::error_code ec;
    if (options->inputs.size() > 1 || std::filesystem::is_directory(options->inputs[0], ec) ||
        !options->reportPath.empty() || options->skipDone) {
        return sonvola::runBatch(*options);
    }
    if (!options->outputDir.empty() && options->outputPrefix.empty()) {
        options->outputPrefix = (std::filesystem::path(options->outputDir) /
                                 std::filesystem::path(options->recording).filename())
                                    .string();
        std::filesystem::create_directories(options->outputDir, ec);
    }
    // One recording: -j is the threads of its stages.
    if (options->jobs > 0) setenv("SONVOLA_THREADS", std::to_string(options->jobs).c_str(), 1);
    return sonvola::runTranscribe(*options);
}
