// sonvola-transcribe's run on one recording: the steps of transcribe.cpp in
// order, with the progress lines, the messages and the exit status.
#include "tools/transcribe_run.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "common/console.h"
#include "common/numbers.h"
#include "common/outputfile.h"
#include "decode/decode.h"
#include "tools/transcribe.h"

namespace sonvola {

namespace {

// The last `lines` lines of a stage's output, indented.
std::string tail(const std::string& text, size_t lines) {
    std::vector<std::string> all;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) all.push_back(line);
    while (!all.empty() && all.back().find_first_not_of(" \r") == std::string::npos) all.pop_back();
    std::string out;
    for (size_t i = all.size() > lines ? all.size() - lines : 0; i < all.size(); ++i) {
        out += "    " + all[i] + "\n";
    }
    return out;
}

}  // namespace

int runTranscribe(const TranscribeOptions& o) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_regular_file(o.recording, ec) || ::access(o.recording.c_str(), R_OK) != 0) {
        std::fprintf(stderr, "sonvola-transcribe: cannot read %s%s%s\n", o.recording.c_str(),
                     ec ? ": " : (fs::exists(o.recording, ec) ? ": not a readable file" : ""),
                     ec ? ec.message().c_str() : "");
        return 1;
    }
    const std::string wav = fs::absolute(o.recording, ec).lexically_normal().string();
    const std::string prefix = o.outputPrefix.empty() ? wav : o.outputPrefix;
    const std::string score = prefix + ".txt";
    const std::string midi = prefix + ".mid";
    const std::string folder = fs::absolute(prefix, ec).parent_path().string();
    if (::access(folder.c_str(), W_OK) != 0) {
        std::fprintf(stderr, "sonvola-transcribe: cannot write the score into %s: %s\n",
                     folder.c_str(), std::strerror(errno));
        return 1;
    }

    handleTranscribeStopSignals();
    const Result<std::string> privateFolder = makePrivateFolder();
    if (!privateFolder) {
        std::fprintf(stderr, "sonvola-transcribe: %s\n", privateFolder.message().c_str());
        return 1;
    }
    const std::string& work = *privateFolder;
    setenv("SONVOLA_WORKDIR", work.c_str(), 1);

    // The stages write the score beside the recording they are given: they
    // are given a link to it inside the private folder, so that the score is
    // made and refined there and only the finished files come beside the
    // recording.
    // A recording that the stages cannot read as it is (another format, more
    // channels, more bits) is decoded into the private folder under the
    // recording's own name, so that every file is named after the original.
    const std::string name = fs::path(wav).filename().string();
    const std::string link = work + name;
    const bool decode = !stagesReadAsIs(wav);
    int status = 0;
    if (!decode && ::symlink(wav.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "sonvola-transcribe: cannot make %s: %s\n", link.c_str(),
                     std::strerror(errno));
        status = 1;
    }
    const std::string workScore = link + ".txt";
    const std::string workMidi = link + ".mid";

    // The stages are beside this program in the build tree, in libexec/sonvola
    // in an installation; sonvola-refine is a command beside this one.
    const std::string stageDir = getStageDir();
    const std::string toolDir = getProgramDir();
    struct Stage {
        const char* name;
        std::vector<std::string> args;
    };
    std::vector<Stage> stages;
    if (decode) stages.push_back({"decode", {}});
    const std::vector<Stage> programs = {
        {"SpecScan", specScanArguments(o, link)},
        {"TrackJoin", trackJoinArguments(o)},
        {"NoteFind", noteFindArguments(o)},
    };
    stages.insert(stages.end(), programs.begin(), programs.end());
    if (o.refine) {
        std::vector<std::string> args{workScore,      workScore,        "--shift",
                                      o.frameShiftMs, "--frame-length", o.frameLength};
        if (!o.shortTermEstimation) args.push_back("--no-estimation");
        // The peak and track lists of this run, which the stages left in the
        // private folder: the rules decide by the sound.
        for (const char* list : {"--peaks", "SpecScan.txt", "--tracks", "TrackJoin.txt"}) {
            args.push_back(list[0] == '-' ? std::string(list) : work + list);
        }
        stages.push_back({"sonvola-refine", args});
    }
    stages.push_back({"ScoreToSmf", {workScore, workMidi}});
    int number = 0;
    // On a terminal the line of the running stage shows its share done and
    // is rewritten in place; on a pipe each stage gets one plain line.
    const bool live = !o.quiet && !o.verbose && ::isatty(STDERR_FILENO);
    for (const Stage& s : stages) {
        if (status != 0 || stopSignalReceived()) break;
        ++number;
        const std::string head = format("[%d/%zu] %s", number, stages.size(), s.name);
        if (!o.quiet) std::fprintf(stderr, live ? "%s" : "%s\n", head.c_str());
        int shown = -1;
        std::function<void(double)> progress;
        const bool decoding = std::strcmp(s.name, "decode") == 0;
        if (live && (decoding || std::strcmp(s.name, "SpecScan") == 0)) {
            progress = [&](double share) {
                const int percent = static_cast<int>(share * 100.0);
                if (percent == shown) return;
                shown = percent;
                std::fprintf(stderr, "\r\033[K%s %3d %%", head.c_str(), percent);
            };
        }
        // What the stage said (for decoding, its notes), its exit status,
        // or why it could not run.
        std::string output;
        int rc = 0;
        Status ran;
        if (decoding) {
            Result<std::string> notes = decodeRecording(wav, link, progress);
            if (notes) {
                output = std::move(*notes);
            } else {
                ran = notes.status();
            }
        } else {
            const bool tool = std::strcmp(s.name, "sonvola-refine") == 0;
            const std::string program = (tool ? toolDir : stageDir) + s.name;
            const Result<int> exit = runStage(program, s.args, o.verbose, progress, output);
            if (exit) {
                rc = *exit;
            } else {
                ran = exit.status();
            }
        }
        if (live) std::fprintf(stderr, "\r\033[K%s\n", head.c_str());
        if (o.verbose) std::fputc('\n', stdout);
        if (stopSignalReceived()) break;
        if (!ran) {
            std::fprintf(stderr, "sonvola-transcribe: %s\n", ran.message().c_str());
            status = 1;
        } else if (rc != 0) {
            std::fprintf(stderr, "sonvola-transcribe: %s failed with exit status %d\n", s.name, rc);
            if (!o.verbose) std::fputs(tail(output, 6).c_str(), stderr);
            status = 1;
        } else if (decoding && !output.empty() && !o.quiet) {
            std::fputs(output.c_str(), stderr);
        }
    }
    if (status == 0 && !stopSignalReceived()) {
        // The record of the options goes last: a run cut short before it is
        // never taken for done.
        Status installed = installOutput(workScore, score);
        if (installed) installed = installOutput(workMidi, midi);
        if (installed)
            installed = writeWholeFile(prefix + kOptionsRecordSuffix, optionsRecord(o) + "\n");
        if (!installed) {
            std::fprintf(stderr, "sonvola-transcribe: %s\n", installed.message().c_str());
            status = 1;
        } else {
            std::fprintf(stdout, "score: %s\nMIDI:  %s\n", score.c_str(), midi.c_str());
        }
    }
    if (stopSignalReceived()) {
        std::fprintf(stderr,
                     "sonvola-transcribe: stopped by signal %d; %s and %s are as they were\n",
                     stopSignalReceived(), score.c_str(), midi.c_str());
        status = 128 + stopSignalReceived();
    }
    if (o.keepWork) {
        std::fprintf(stderr, "intermediate files: %s\n", work.c_str());
    } else {
        fs::remove_all(work, ec);
    }
    return status;
}

}  // namespace sonvola
