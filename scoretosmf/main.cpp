#include <cstdio>
#include <cstring>
#include <new>

#include "common/console.h"
#include "scoretosmf/scoretosmf_run.h"
#include "sonvola/version.h"

int main(int argc, char** argv) {
    sonvola::initConsole("ScoreToSmf");
    // "--version" as the only argument: the name and version. Every other
    // argument list is the stage's own.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("ScoreToSmf %s\n", SONVOLA_VERSION);
        return 0;
    }
    try {
        return sonvola::runScoreToSmf(argc, argv);
    } catch (const std::bad_alloc&) {
        sonvola::fatalError(stderr, "Can't malloc\n");
    }
}
