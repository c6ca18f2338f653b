#include "common/stagemain.h"
#include "specscan/specscan_run.h"

int main(int argc, char** argv) {
    return sonvola::runStageMain(argc, argv, "SpecScan", sonvola::runSpecScan);
}
