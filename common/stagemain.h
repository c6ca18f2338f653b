// The main() of each of the four stages: the console set up, "--version" as
// the only argument answered with the name and version, every other argument
// list handed to the stage, and memory running out reported as the stages
// always report it.
#pragma once

#include <cstdio>
#include <cstring>
#include <new>

#include "common/console.h"
#include "sonvola/version.h"

namespace sonvola {

inline int runStageMain(int argc, char** argv, const char* name, int (*run)(int, char**)) {
    initConsole(name);
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("%s %s\n", name, SONVOLA_VERSION);
        return 0;
    }
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        fatalError(stderr, "Can't malloc\n");
    }
}

}  // namespace sonvola
