#include <cstdio>
#include <new>

#include "common/console.h"
#include "trackjoin/trackjoin_run.h"

int main(int argc, char** argv) {
    sonvola::initConsole("TrackJoin");
    try {
        return sonvola::runTrackJoin(argc, argv);
    } catch (const std::bad_alloc&) {
        sonvola::fatalError(stderr, "Can't malloc\n");
    }
}
