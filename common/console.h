// The console frame shared by the four stage programs: program and work
// directories, the title and argument echo, the RETURN wait and fatal errors.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

#include "common/status.h"

namespace sonvola {

// Puts the process into the state every console program expects: standard
// output unbuffered (so that it keeps its order with standard error in a
// pipe), the "C" locale for numbers, temporary output files removed on an
// interrupt, and a failed write to standard output turned into exit status 1.
void initConsole(const char* programName);

// Folder of the running executable, ending with "/" (from /proc/self/exe).
std::string getProgramDir();

// Folder of the four stages and sonvola-console, ending with "/". In the
// build tree every program is in one folder; an installation keeps the
// commands in PREFIX/bin and these in PREFIX/libexec/sonvola, the prefix
// being wherever the running program finds itself (the tree can be moved).
std::string getStageDir();

// Whether the running program belongs to an installation (it is in the
// stage folder of one, or its stages are there) rather than to a folder
// holding every program, as the build tree does.
bool runsInstalled();

// The rule of getStageDir as a pure function, for tests: `programDir` ends
// with "/"; `hasStages` tells whether a folder holds SpecScan; `binDir` and
// `stageDir` are the installation's folders relative to its prefix (or
// absolute).
std::string chooseStageDir(const std::string& programDir,
                           const std::function<bool(const std::string&)>& hasStages,
                           const std::string& binDir, const std::string& stageDir);

// The folder for the fixed-name files (Wave_File_Format.txt, SpecScan.txt,
// TrackJoin.txt), ending with "/":
//  - $SONVOLA_WORKDIR when set and not empty;
//  - else the program directory when it is writable and not an installation;
//  - else $XDG_DATA_HOME/sonvola/ (~/.local/share/sonvola/), created when missing.
std::string getWorkDir();

// Takes the work folder for this process alone: an exclusive lock on the
// folder, held until the process ends, so that no two stages ever write one
// SpecScan.txt. Fails with the message the stages print when another process
// holds it or the folder cannot be used.
Status lockWorkDir(const std::string& workDir);

// The rule of getWorkDir as a pure function, for tests. `workdirEnv`,
// `xdgDataHome` and `home` may be null.
std::string chooseWorkDir(const std::string& programDir, bool programDirWritable,
                          const char* workdirEnv, const char* xdgDataHome, const char* home);

// Prints the title line, "..Argument\n" and every argument (index 0 included)
// whose first character is not '_'.
void printTitleAndArguments(std::FILE* out, const char* title, int argc, char** argv);

// Reads and discards one line; returns at end of input as well.
void readOneLine(std::FILE* in);

// "\n..Please enter RETURN KEY." on `out`, then one line from `in`.
void waitForReturnKey(std::FILE* out = stdout, std::FILE* in = stdin);

// The fatal-error routine of the programs: prints the message on `stream`,
// reads one line from standard input without a prompt and exits with status 1.
[[noreturn]] void fatalError(std::FILE* stream, const std::string& message);

// Moves past `count` line feeds by reading single bytes. Returns the number of
// line feeds consumed (less than `count` when the input ends early).
int skipLines(std::FILE* file, int count);

// How far a stage has come, for a program that runs it (sonvola-transcribe
// shows a percentage): when the environment variable SONVOLA_PROGRESS_FD
// names an open file descriptor, lines "STAGE DONE TOTAL" go to it, one per
// whole percent; otherwise nothing happens. The console output is not
// touched, and a descriptor that fails is given up quietly.
class ProgressChannel {
  public:
    explicit ProgressChannel(const char* stage);
    void report(int64_t done, int64_t total);

  private:
    const char* stage_;
    int fd_ = -1;
    int64_t lastPercent_ = -1;
};

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace sonvola
