#include <cstdio>
#include <new>

#include "common/console.h"
#include "specscan/specscan_run.h"

int main(int argc, char** argv) {
    sonvola::initConsole("SpecScan");
    try {
        return sonvola::runSpecScan(argc, argv);
    } catch (const std::bad_alloc&) {
        sonvola::fatalError(stderr, "Can't malloc\n");
    }
}
