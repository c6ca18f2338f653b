#include "common/stagemain.h"
#include "scoretosmf/scoretosmf_run.h"

int main(int argc, char** argv) {
    return sonvola::runStageMain(argc, argv, "ScoreToSmf", sonvola::runScoreToSmf);
}
