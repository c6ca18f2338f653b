#include "common/stagemain.h"
#include "trackjoin/trackjoin_run.h"

int main(int argc, char** argv) {
    return sonvola::runStageMain(argc, argv, "TrackJoin", sonvola::runTrackJoin);
}
