#include <cstdio>
#include <new>

#include "common/console.h"
#include "scoretosmf/scoretosmf_run.h"

int main(int argc, char** argv) {
    sonvola::initConsole("ScoreToSmf");
    try {
        return sonvola::runScoreToSmf(argc, argv);
    } catch (const std::bad_alloc&) {
        sonvola::fatalError(stderr, "Can't malloc\n");
    }
}
