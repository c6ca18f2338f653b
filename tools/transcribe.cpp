#include "tools/transcribe.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "common/console.h"

extern char** environ;

namespace sonvola {

std::string transcribeHelp() {
    return "usage: sonvola-transcribe RECORDING.wav [options]\n"
           "\n"
           "Runs SpecScan, TrackJoin, NoteFind and ScoreToSmf on a PCM WAV file (8 or 16 bit,\n"
           "mono or stereo, 11025 Hz or more) and writes RECORDING.wav.txt (the score) and\n"
           "RECORDING.wav.mid beside it.\n"
           "\n"
           "Analysis (defaults as in the front end):\n"
           "  --shift MS             frame shift in milliseconds            [10]\n"
           "  --frame-length N       frame length in samples at 11025 Hz    [512]\n"
           "  --fft-length N         zero-padded transform length           [4096]\n"
           "  --window NAME          ブラックマン窓 ハニング窓 ハミング窓 方形窓 三角窓 なし "
           "[ハミング窓]\n"
           "  --no-estimation        keep every peak (skip the short-term estimation)\n"
           "Notes and score:\n"
           "  --tempo BPM            quarter notes per minute               [120]\n"
           "  --note-value N         shortest note value (128 = 128th note) [128]\n"
           "  --time-signature N/D   time signature                         [4/4]\n"
           "  --program P            General MIDI program, 1 to 128         [1]\n"
           "  --no-amendment         do not merge close lumps or drop weak ones\n"
           "  --seed                 the four stages' notes as they are (no sonvola-refine)\n"
           "Running:\n"
           "  --keep-work            keep the intermediate files and print where they are\n"
           "  --verbose              show each stage's console output\n"
           "  --help                 this text\n"
           "\n"
           "The intermediate files go to a fresh folder of their own, or to $SONVOLA_WORKDIR\n"
           "when it is set, so several runs can go at once.\n";
}

std::optional<TranscribeOptions> parseTranscribeOptions(const std::vector<std::string>& args,
                                                        std::string& error) {
    TranscribeOptions o;
    auto value = [&](size_t& i, std::string& into) {
        if (i + 1 >= args.size()) {
            error = "option " + args[i] + " needs a value";
            return false;
        }
        into = args[++i];
        return true;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--shift") {
            if (!value(i, o.frameShiftMs)) return std::nullopt;
        } else if (a == "--frame-length") {
            if (!value(i, o.frameLength)) return std::nullopt;
        } else if (a == "--fft-length") {
            if (!value(i, o.fftLength)) return std::nullopt;
        } else if (a == "--window") {
            if (!value(i, o.window)) return std::nullopt;
        } else if (a == "--tempo") {
            if (!value(i, o.tempo)) return std::nullopt;
        } else if (a == "--note-value") {
            if (!value(i, o.noteValue)) return std::nullopt;
        } else if (a == "--program") {
            if (!value(i, o.program)) return std::nullopt;
        } else if (a == "--time-signature") {
            std::string sig;
            if (!value(i, sig)) return std::nullopt;
            const auto slash = sig.find('/');
            if (slash == std::string::npos || slash == 0 || slash + 1 == sig.size()) {
                error = "time signature \"" + sig + "\" is not N/D";
                return std::nullopt;
            }
            o.numerator = sig.substr(0, slash);
            o.denominator = sig.substr(slash + 1);
        } else if (a == "--no-estimation") {
            o.shortTermEstimation = false;
        } else if (a == "--no-amendment") {
            o.amendment = false;
        } else if (a == "--seed") {
            o.refine = false;
        } else if (a == "--keep-work") {
            o.keepWork = true;
        } else if (a == "--verbose" || a == "-v") {
            o.verbose = true;
        } else if (a.size() > 1 && a[0] == '-') {
            error = "unknown option " + a;
            return std::nullopt;
        } else if (o.recording.empty()) {
            o.recording = a;
        } else {
            error = "more than one recording given (" + o.recording + ", " + a + ")";
            return std::nullopt;
        }
    }
    if (!o.help && o.recording.empty()) {
        error = "no recording given";
        return std::nullopt;
    }
    return o;
}

std::vector<std::string> specScanArguments(const TranscribeOptions& o, const std::string& wav) {
    return {wav,           o.frameShiftMs, o.shortTermEstimation ? "_msec" : "-",
            o.frameLength, "_点",          o.fftLength,
            "_点",         o.window};
}

std::vector<std::string> trackJoinArguments(const TranscribeOptions& o) {
    return {o.tempo, o.amendment ? "_tempo" : "-", o.noteValue, "_分音符"};
}

std::vector<std::string> noteFindArguments(const TranscribeOptions& o) {
    return {o.tempo, "_tempo", o.noteValue, "_分音符", o.numerator, "/", o.denominator, o.program};
}

namespace {

// Runs a program with standard input from /dev/null; its output goes to
// `logPath` (or to ours when `verbose`). Returns the exit status, or -1.
int runStage(const std::string& program, const std::vector<std::string>& args,
             const std::string& logPath, bool verbose) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!verbose) {
        posix_spawn_file_actions_addopen(&actions, 1, logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) < 0) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

std::string tail(const std::string& path, size_t lines) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> all;
    std::string line;
    while (std::getline(in, line)) all.push_back(line);
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
    if (!fs::is_regular_file(o.recording, ec)) {
        std::fprintf(stderr, "sonvola-transcribe: cannot read %s\n", o.recording.c_str());
        return 1;
    }
    const std::string wav = fs::absolute(o.recording, ec).lexically_normal().string();

    std::string work;
    bool ownWork = false;
    const char* env = std::getenv("SONVOLA_WORKDIR");
    if (env && *env) {
        work = env;
    } else {
        std::string tmpl = (fs::temp_directory_path(ec) / "sonvola-XXXXXX").string();
        std::vector<char> buf(tmpl.begin(), tmpl.end());
        buf.push_back('\0');
        if (!mkdtemp(buf.data())) {
            std::fprintf(stderr, "sonvola-transcribe: cannot make a work folder in %s\n",
                         fs::temp_directory_path(ec).c_str());
            return 1;
        }
        work = buf.data();
        ownWork = true;
        setenv("SONVOLA_WORKDIR", work.c_str(), 1);
    }
    if (work.back() != '/') work += '/';
    fs::create_directories(work, ec);

    const std::string dir = getProgramDir();
    const std::string score = wav + ".txt";
    const std::string midi = wav + ".mid";
    struct Stage {
        const char* name;
        std::vector<std::string> args;
    };
    std::vector<Stage> stages = {
        {"SpecScan", specScanArguments(o, wav)},
        {"TrackJoin", trackJoinArguments(o)},
        {"NoteFind", noteFindArguments(o)},
    };
    if (o.refine) {
        std::vector<std::string> args{
            score, score, "--shift", o.frameShiftMs, "--frame-length", o.frameLength};
        if (!o.shortTermEstimation) args.push_back("--no-estimation");
        stages.push_back({"sonvola-refine", args});
    }
    stages.push_back({"ScoreToSmf", {score, midi}});
    int status = 0;
    int number = 0;
    for (const Stage& s : stages) {
        ++number;
        std::fprintf(stderr, "[%d/%zu] %s\n", number, stages.size(), s.name);
        const std::string log = work + s.name + ".log";
        const int rc = runStage(dir + s.name, s.args, log, o.verbose);
        if (o.verbose) std::fputc('\n', stdout);
        if (rc != 0) {
            if (rc < 0) {
                std::fprintf(stderr, "sonvola-transcribe: cannot start %s%s\n", dir.c_str(),
                             s.name);
            } else {
                std::fprintf(stderr, "sonvola-transcribe: %s failed with exit status %d\n", s.name,
                             rc);
                if (!o.verbose) std::fputs(tail(log, 6).c_str(), stderr);
            }
            status = 1;
            break;
        }
    }
    if (status == 0) {
        std::fprintf(stdout, "score: %s\nMIDI:  %s\n", score.c_str(), midi.c_str());
    }
    if (o.keepWork || !ownWork) {
        if (o.keepWork) std::fprintf(stderr, "intermediate files: %s\n", work.c_str());
    } else {
        fs::remove_all(work, ec);
    }
    return status;
}

}  // namespace sonvola
