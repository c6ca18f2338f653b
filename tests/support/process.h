#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace sonvola::test {

struct ProcessResult {
    int exitCode = -1;  // -1 when the program did not exit normally
    int signal = 0;     // the signal that ended it, if one did
    std::string out;    // standard output
    std::string err;    // standard error
};

struct ProcessOptions {
    std::map<std::string, std::string> env;  // added to (or replacing) the environment
    std::vector<std::string> unsetEnv;
    std::string stdinText;  // fed to standard input, then end of input
    std::string workingDir;
    // Standard output to this file (e.g. /dev/full) instead of a pipe.
    std::string stdoutPath;
    // RLIMIT_FSIZE in bytes (with SIGXFSZ ignored, so a write past it fails
    // with EFBIG): a full disk without root.
    int64_t fileSizeLimit = -1;
    // Sends `signal` to the program once its output or error holds `when`
    // (after `delayMs`); 0 sends nothing.
    int signal = 0;
    std::string when;
    int delayMs = 0;
};

// Runs `program` with `args` (argument 0 is the program path) and waits for it.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options = {});

// build/bin/<name>
std::string binPath(const std::string& name);

// Runs the program `name` from build/bin with `args` (without the program name).
ProcessResult runProgram(const std::string& name, const std::vector<std::string>& args,
                         ProcessOptions options = {});

// Runs sonvola-transcribe with `args`, in a private folder of its own unless
// `options` sets SONVOLA_WORKDIR.
ProcessResult runTranscribe(const std::vector<std::string>& args, ProcessOptions options = {});

// Runs the stage program `name` from build/bin with `args` (without the
// program name) and SONVOLA_WORKDIR set to `workDir`.
ProcessResult runStage(const std::string& name, const std::string& workDir,
                       std::vector<std::string> args, const std::string& stdinText = "");

}  // namespace sonvola::test
