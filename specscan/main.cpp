#include <cstdio>
#include <cstring>
#include <new>

#include "common/console.h"
#include "sonvola/version.h"
#include "specscan/specscan_run.h"

int main(int argc, char** argv) {
    sonvola::initConsole("SpecScan");
    // "--version" as the only argument: the name and version. Every other
    // argument list is the stage's own.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("SpecScan %s\n", SONVOLA_VERSION);
        return 0;
    }
    try {
        return sonvola::runSpecScan(argc, argv);
    } catch (const std::bad_alloc&) {
        sonvola::fatalError(stderr, "Can't malloc\n");
    }
}
