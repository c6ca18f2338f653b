#include <cstdio>
#include <new>

#include "common/console.h"
#include "notefind/notefind_run.h"

int main(int argc, char** argv) {
    sonvola::initConsole("NoteFind");
    try {
        return sonvola::runNoteFind(argc, argv);
    } catch (const std::bad_alloc&) {
        sonvola::fatalError(stderr, "Can't malloc\n");
    }
}
