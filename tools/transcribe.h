// sonvola-transcribe: the four stages in one command, from a WAV file to a
// score text and a MIDI file beside it.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/status.h"

namespace sonvola {

struct TranscribeOptions {
    std::string recording;            // the one recording of a single run
    std::vector<std::string> inputs;  // recordings and folders, as given
    // Where the outputs go: beside each recording, or under outputDir
    // (mirroring the folders given); outputPrefix names them for one run
    // (PREFIX.txt and PREFIX.mid; empty: the recording's own path).
    std::string outputDir;
    std::string outputPrefix;
    int jobs = 0;  // files and threads at once; 0: the cores this process may use
    bool skipDone = false;
    std::string reportPath;
    // The option words as given (without the inputs and the options that
    // only concern several files), to start one run per file.
    std::vector<std::string> analysisArgs;
    // The front end's eight fields and their defaults.
    std::string frameShiftMs = "10";
    std::string frameLength = "512";
    std::string fftLength = "4096";
    std::string window = "ハミング窓";
    std::string tempo = "120";
    std::string noteValue = "128";
    std::string numerator = "4";
    std::string denominator = "4";
    std::string program = "1";
    bool shortTermEstimation = true;  // "_msec"
    bool amendment = true;            // "_tempo"
    bool refine =
        true;  // sonvola-refine after NoteFind (--seed: the four stages' output unchanged)
    bool keepWork = false;
    bool verbose = false;
    bool quiet = false;  // no progress lines
    bool help = false;
    bool version = false;
};

// Parses the command line; a mistake is refused with its reason.
Result<TranscribeOptions> parseTranscribeOptions(const std::vector<std::string>& args);

std::string transcribeHelp();

// Checks every option as strictly as a whole number or a number, then as the
// stages would, so that no stage starts on options a later one refuses.
Status checkTranscribeOptions(const TranscribeOptions& options);

// The argument words of each stage (without the program path).
std::vector<std::string> specScanArguments(const TranscribeOptions& o, const std::string& wav);
std::vector<std::string> trackJoinArguments(const TranscribeOptions& o);
std::vector<std::string> noteFindArguments(const TranscribeOptions& o);

// What the outputs of a run were made with: the analysis options and the
// program's version, one line; a later --skip-done compares it.
std::string optionsRecord(const TranscribeOptions& options);
// The file beside the MIDI file that holds it: PREFIX.sonvola.
inline constexpr const char* kOptionsRecordSuffix = ".sonvola";

// The steps of one run (runTranscribe in transcribe_run.cpp puts them
// together and says what happens).

// SIGINT, SIGTERM and SIGHUP end the stage running now by the same signal;
// stopSignalReceived() then tells which came (0: none).
void handleTranscribeStopSignals();
int stopSignalReceived();

// Runs a program with standard input from /dev/null. Its output goes to
// ours when `verbose`; otherwise through a pipe, of which the last 16 KiB are
// kept in `output` (nothing is written to the disk for it, so a full disk
// cannot hide a stage's message). A stage that reports its progress
// (SONVOLA_PROGRESS_FD) has it passed to `progress` as a share from 0 to 1.
// Returns the exit status or 128 + the signal that ended it; fails when the
// program could not be started or waited for.
Result<int> runStage(const std::string& program, const std::vector<std::string>& args, bool verbose,
                     const std::function<void(double)>& progress, std::string& output);

// A fresh folder of this run's own: inside $SONVOLA_WORKDIR when set, else
// in the temporary folder ($TMPDIR when it exists, else /tmp).
Result<std::string> makePrivateFolder();

// Puts a finished output of the private folder in place beside the recording.
Status installOutput(const std::string& from, const std::string& to);

// Decodes `input` into the WAV `output` that the stages read. What the
// decoding changed (a mix-down, clamped samples, a stream cut short) is said
// in the notes returned, one line each.
Result<std::string> decodeRecording(const std::string& input, const std::string& output,
                                    const std::function<void(double)>& progress);

}  // namespace sonvola
