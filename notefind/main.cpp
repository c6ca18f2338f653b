#include "common/stagemain.h"
#include "notefind/notefind_run.h"

int main(int argc, char** argv) {
    return sonvola::runStageMain(argc, argv, "NoteFind", sonvola::runNoteFind);
}
