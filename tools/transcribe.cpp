#include "tools/transcribe.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "common/console.h"
#include "common/numbers.h"
#include "common/outputfile.h"
#include "decode/decode.h"
#include "notefind/notefind_run.h"
#include "scoretosmf/smf.h"
#include "sonvola/version.h"
#include "specscan/specscan_run.h"
#include "specscan/spectrum.h"
#include "trackjoin/trackjoin_run.h"

extern char** environ;

namespace sonvola {

std::string transcribeHelp() {
    return "usage: sonvola-transcribe RECORDING [options]\n"
           "\n"
           "Runs SpecScan, TrackJoin, NoteFind and ScoreToSmf on a recording and writes\n"
           "RECORDING.txt (the score) and RECORDING.mid beside it. A PCM WAV of 8 or 16\n"
           "bits, mono or stereo, at 11025 Hz or more goes to the stages as it is; any\n"
           "other audio file (WAV of other depths or float, FLAC, MP3, Ogg Vorbis, Opus,\n"
           "AIFF, CAF, M4A/AAC, the sound of a video file) is decoded for them first,\n"
           "more than two channels mixed down to one.\n"
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
           "Many recordings:\n"
           "  sonvola-transcribe [options] FILE|FOLDER...  (folders are searched for audio files)\n"
           "  --output-dir DIR       outputs under DIR, mirroring the folders given\n"
           "                         [beside each recording]\n"
           "  -j N, --jobs N         recordings and threads at once [the cores available]\n"
           "  --skip-done            skip a recording whose MIDI file is newer and was made\n"
           "                         with the same options (RECORDING.sonvola records them)\n"
           "  --report FILE          one JSON line per recording (- for standard output)\n"
           "Running:\n"
           "  --keep-work            keep the intermediate files and print where they are\n"
           "  --verbose              show each stage's console output\n"
           "  --quiet                no progress lines (errors are still said)\n"
           "  --help                 this text\n"
           "  --version              the program's name and version\n"
           "\n"
           "The intermediate files go to a fresh folder of their own, or to $SONVOLA_WORKDIR\n"
           "when it is set, so several runs can go at once.\n";
}

namespace {

Status needsValue(const std::string& option) {
    return Status::error("option " + option + " needs a value");
}

}  // namespace

Result<TranscribeOptions> parseTranscribeOptions(const std::vector<std::string>& args) {
    TranscribeOptions o;
    // The word after option i into `into`; false (i unchanged) when there is none.
    auto value = [&](size_t& i, std::string& into) {
        if (i + 1 >= args.size()) return false;
        into = args[++i];
        return true;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        const size_t first = i;
        // Options of the analysis and of a single run are kept as given, so
        // that a run per file can be started with them.
        auto keep = [&] {
            o.analysisArgs.insert(o.analysisArgs.end(), args.begin() + static_cast<long>(first),
                                  args.begin() + static_cast<long>(i) + 1);
        };
        if (a == "--output-dir") {
            if (!value(i, o.outputDir)) return needsValue(args[i]);
            continue;
        } else if (a == "--output-prefix") {
            if (!value(i, o.outputPrefix)) return needsValue(args[i]);
            continue;
        } else if (a == "--report") {
            if (!value(i, o.reportPath)) return needsValue(args[i]);
            continue;
        } else if (a == "--skip-done") {
            o.skipDone = true;
            continue;
        } else if (a == "-j" || a == "--jobs" || a.rfind("-j", 0) == 0) {
            std::string n = a.size() > 2 && a[1] == 'j' ? a.substr(2) : "";
            if (n.empty() && !value(i, n)) return needsValue(args[i]);
            int64_t jobs = 0;
            if (!parseStrictInt(n, jobs) || jobs < 1 || jobs > 1024) {
                return Status::error("-j \"" + n + "\" is not a whole number from 1 to 1024");
            }
            o.jobs = static_cast<int>(jobs);
            continue;
        }
        if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version") {
            o.version = true;
        } else if (a == "--shift") {
            if (!value(i, o.frameShiftMs)) return needsValue(args[i]);
        } else if (a == "--frame-length") {
            if (!value(i, o.frameLength)) return needsValue(args[i]);
        } else if (a == "--fft-length") {
            if (!value(i, o.fftLength)) return needsValue(args[i]);
        } else if (a == "--window") {
            if (!value(i, o.window)) return needsValue(args[i]);
        } else if (a == "--tempo") {
            if (!value(i, o.tempo)) return needsValue(args[i]);
        } else if (a == "--note-value") {
            if (!value(i, o.noteValue)) return needsValue(args[i]);
        } else if (a == "--program") {
            if (!value(i, o.program)) return needsValue(args[i]);
        } else if (a == "--time-signature") {
            std::string sig;
            if (!value(i, sig)) return needsValue(args[i]);
            const auto slash = sig.find('/');
            if (slash == std::string::npos || slash == 0 || slash + 1 == sig.size()) {
                return Status::error("time signature \"" + sig + "\" is not N/D");
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
        } else if (a == "--quiet" || a == "-q") {
            o.quiet = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Status::error("unknown option " + a);
        } else {
            o.inputs.push_back(a);
            continue;
        }
        keep();
    }
    if (!o.help && !o.version && o.inputs.empty()) {
        return Status::error("no recording given");
    }
    if (!o.inputs.empty()) o.recording = o.inputs.front();
    return o;
}

std::string optionsRecord(const TranscribeOptions& o) {
    return format(
        "sonvola %s shift=%s frame-length=%s fft-length=%s window=%s tempo=%s "
        "note-value=%s time-signature=%s/%s program=%s estimation=%d amendment=%d "
        "refine=%d",
        SONVOLA_VERSION, o.frameShiftMs.c_str(), o.frameLength.c_str(), o.fftLength.c_str(),
        o.window.c_str(), o.tempo.c_str(), o.noteValue.c_str(), o.numerator.c_str(),
        o.denominator.c_str(), o.program.c_str(), o.shortTermEstimation ? 1 : 0,
        o.amendment ? 1 : 0, o.refine ? 1 : 0);
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

// argv for a stage's argument parser, which takes char**.
class ArgumentVector {
  public:
    ArgumentVector(const char* program, const std::vector<std::string>& args) : words_(args) {
        words_.insert(words_.begin(), program);
        for (auto& w : words_) pointers_.push_back(w.data());
        pointers_.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(words_.size()); }
    char** argv() { return pointers_.data(); }

  private:
    std::vector<std::string> words_;
    std::vector<char*> pointers_;
};

// "err: ..." of a stage's message as one line of ours.
std::string stageMessage(std::string message) {
    message.erase(0, message.find_first_not_of("\n "));
    if (message.rfind("err: ", 0) == 0) message.erase(0, 5);
    while (!message.empty() && (message.back() == '\n' || message.back() == ' ')) {
        message.pop_back();
    }
    return message;
}

Status strictNumber(const std::string& text, const char* option, bool whole) {
    int64_t i = 0;
    double d = 0.0;
    if (whole ? parseStrictInt(text, i) : parseStrictDouble(text, d)) return {};
    return Status::error(std::string(option) + " \"" + text + "\" is not " +
                         (whole ? "a whole number" : "a number"));
}

}  // namespace

Status checkTranscribeOptions(const TranscribeOptions& o) {
    // Numbers are read whole here: the stages would take "5abc" as 5.
    const struct {
        const std::string& text;
        const char* option;
        bool whole;
    } numbers[] = {
        {o.frameShiftMs, "--shift", false},        {o.frameLength, "--frame-length", true},
        {o.fftLength, "--fft-length", true},       {o.tempo, "--tempo", true},
        {o.noteValue, "--note-value", false},      {o.numerator, "--time-signature", true},
        {o.denominator, "--time-signature", true}, {o.program, "--program", true}};
    for (const auto& n : numbers) {
        if (Status number = strictNumber(n.text, n.option, n.whole); !number) return number;
    }
    if (!parseWindowName(o.window)) {
        return Status::error(
            "--window \"" + o.window +
            "\" is not one of ブラックマン窓 ハニング窓 ハミング窓 方形窓 三角窓 なし");
    }
    // Then the stages' own checks, so that no stage starts on options that a
    // later one would refuse.
    ArgumentVector scan("SpecScan", specScanArguments(o, o.recording));
    if (Result<SpecScanParameters> sp = parseSpecScanArguments(scan.argc(), scan.argv()); !sp) {
        return Status::error(stageMessage(sp.message()));
    }
    ArgumentVector join("TrackJoin", trackJoinArguments(o));
    if (Result<TrackJoinParameters> tp = parseTrackJoinArguments(join.argc(), join.argv()); !tp) {
        return Status::error(stageMessage(tp.message()));
    }
    ArgumentVector find("NoteFind", noteFindArguments(o));
    NoteFindParameters np;
    if (Status nf = parseNoteFindArguments(find.argc(), find.argv(), np); !nf) {
        return Status::error(stageMessage(nf.message()));
    }
    // Each value of the score's head as NoteFind writes it, through the MIDI
    // writer.
    struct HeadItem {
        const char* option;
        std::string value, item;
    };
    const HeadItem items[] = {{"--tempo", o.tempo, "0 tempo " + o.tempo},
                              {"--time-signature", o.numerator + "/" + o.denominator,
                               "0 rhythm " + o.numerator + " / " + o.denominator},
                              {"--program", o.program, "0 tone " + o.program}};
    for (const HeadItem& h : items) {
        std::vector<uint8_t> midi;
        const Status r = convertScoreToSmf("tracks 1 track{ " + h.item + " }", midi);
        if (!r) {
            return Status::error(std::string(h.option) + " " + h.value + ": " +
                                 stageMessage(r.message()));
        }
    }
    return {};
}

namespace {

// The stage running now, and the signal that asked us to stop.
volatile sig_atomic_t runningChild = 0;
volatile sig_atomic_t stopSignal = 0;

extern "C" void onStopSignal(int sig) {
    stopSignal = sig;
    const pid_t child = runningChild;
    if (child > 0) ::kill(child, sig);
}

constexpr size_t kOutputKept = 16384;
constexpr int kProgressFd = 3;  // where a stage finds its progress channel

Result<std::string> readWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in) return Status::error("cannot read " + path);
    return text.str();
}

}  // namespace

void handleTranscribeStopSignals() {
    handleStopSignals(onStopSignal);
}

int stopSignalReceived() {
    return stopSignal;
}

Result<int> runStage(const std::string& program, const std::vector<std::string>& args, bool verbose,
                     const std::function<void(double)>& progress, std::string& output) {
    output.clear();
    int out[2] = {-1, -1}, prog[2] = {-1, -1};
    if ((!verbose && ::pipe2(out, O_CLOEXEC) != 0) || (progress && ::pipe2(prog, O_CLOEXEC) != 0)) {
        const Status failed =
            Status::error(std::string("cannot make a pipe: ") + std::strerror(errno));
        for (int fd : {out[0], out[1]}) {
            if (fd >= 0) ::close(fd);
        }
        return failed;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    if (!verbose) {
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
    }
    // The stage's environment: ours, and its progress channel when asked for.
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        if (std::strncmp(*e, "SONVOLA_PROGRESS_FD=", 20) != 0) env.emplace_back(*e);
    }
    if (progress) {
        posix_spawn_file_actions_adddup2(&actions, prog[1], kProgressFd);
        env.push_back("SONVOLA_PROGRESS_FD=" + std::to_string(kProgressFd));
    }
    std::vector<char*> envp;
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    for (int fd : {out[1], prog[1]}) {
        if (fd >= 0) ::close(fd);
    }
    if (rc != 0) {
        for (int fd : {out[0], prog[0]}) {
            if (fd >= 0) ::close(fd);
        }
        return Status::error("cannot start " + program + ": " + std::strerror(rc));
    }
    runningChild = pid;
    // A stop signal that came just before the child existed is passed on now.
    if (stopSignal) ::kill(pid, stopSignal);
    // Both pipes are read until the stage closes them (it ends).
    std::string pending;  // progress text up to its next line end
    pollfd fds[2];
    int open = 0;
    if (out[0] >= 0) fds[open++] = {out[0], POLLIN, 0};
    if (prog[0] >= 0) fds[open++] = {prog[0], POLLIN, 0};
    char buf[4096];
    while (open > 0) {
        if (::poll(fds, static_cast<nfds_t>(open), -1) < 0) {
            if (errno == EINTR) continue;
            break;
        }
        for (int i = 0; i < open; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            const ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i] = fds[--open];
                --i;
                continue;
            }
            if (fds[i].fd == out[0]) {
                output.append(buf, static_cast<size_t>(n));
                if (output.size() > 2 * kOutputKept) output.erase(0, output.size() - kOutputKept);
                continue;
            }
            pending.append(buf, static_cast<size_t>(n));
            for (size_t nl; (nl = pending.find('\n')) != std::string::npos;) {
                long long done = 0, total = 0;
                char stage[32];
                if (std::sscanf(pending.substr(0, nl).c_str(), "%31s %lld %lld", stage, &done,
                                &total) == 3 &&
                    total > 0) {
                    progress(static_cast<double>(done) / static_cast<double>(total));
                }
                pending.erase(0, nl + 1);
            }
        }
    }
    int status = 0;
    pid_t waited;
    do {
        waited = waitpid(pid, &status, 0);
    } while (waited < 0 && errno == EINTR);
    runningChild = 0;
    if (waited < 0) {
        return Status::error("lost " + program + ": " + std::strerror(errno));
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

Result<std::string> makePrivateFolder() {
    namespace fs = std::filesystem;
    std::error_code ec;
    std::string base;
    const char* env = std::getenv("SONVOLA_WORKDIR");
    if (env && *env) {
        base = env;
        fs::create_directories(base, ec);
        if (ec) return Status::error("cannot make a work folder in " + base + ": " + ec.message());
    } else {
        const char* tmp = std::getenv("TMPDIR");
        base = (tmp && *tmp && fs::is_directory(tmp, ec)) ? tmp : "/tmp";
    }
    if (base.back() != '/') base += '/';
    std::string tmpl = base + "sonvola-XXXXXX";
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) {
        return Status::error("cannot make a work folder in " + base + ": " + std::strerror(errno));
    }
    return std::string(buf.data()) + "/";
}

Status installOutput(const std::string& from, const std::string& to) {
    const Result<std::string> bytes = readWhole(from);
    if (!bytes) return bytes.status();
    return writeWholeFile(to, *bytes);
}

Result<std::string> decodeRecording(const std::string& input, const std::string& output,
                                    const std::function<void(double)>& progress) {
    const Result<DecodeReport> decoded = decodeToWav(input, output, progress);
    if (!decoded) return decoded.status();
    const DecodeReport& report = *decoded;
    std::string notes;
    if (report.mixedDown) {
        notes += format("sonvola-transcribe: %s: %d channels mixed down to one\n", input.c_str(),
                        report.channelsIn);
    }
    if (report.clipped) {
        notes += format("sonvola-transcribe: %s: %lld samples beyond full scale were clamped\n",
                        input.c_str(), static_cast<long long>(report.clippedSamples));
    }
    if (!report.note.empty()) {
        notes += "sonvola-transcribe: " + report.note + "\n";
    }
    return notes;
}

}  // namespace sonvola
