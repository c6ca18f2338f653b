// sonvola-transcribe's run on several recordings: the recordings of
// batch.cpp transcribed by runs of the program, the report and the summary.
#include "tools/batch_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <set>
#include <sstream>

#include "common/console.h"
#include "common/numbers.h"
#include "common/outputfile.h"
#include "common/threads.h"
#include "tools/batch.h"

extern char** environ;

namespace sonvola {

namespace fs = std::filesystem;

namespace {

// The runs under way, for the stop signals to reach them.
constexpr int kMaxChildren = 1024;
volatile sig_atomic_t children[kMaxChildren];
volatile sig_atomic_t batchStopSignal = 0;

extern "C" void onBatchStop(int sig) {
    batchStopSignal = sig;
    for (int i = 0; i < kMaxChildren; ++i) {
        const pid_t pid = children[i];
        if (pid > 0) ::kill(pid, sig);
    }
}

struct Running {
    size_t item = 0;
    pid_t pid = 0;
    int slot = -1;
    int errFd = -1;
    std::string err;
    std::chrono::steady_clock::time_point start;
};

// The last line of a run's standard error that says something.
std::string lastMessage(const std::string& err) {
    std::istringstream in(err);
    std::string line, last;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") != std::string::npos && line[0] != '[') last = line;
    }
    const std::string prefix = "sonvola-transcribe: ";
    if (last.rfind(prefix, 0) == 0) last.erase(0, prefix.size());
    return last;
}

}  // namespace

int runBatch(const TranscribeOptions& o) {
    const auto started = std::chrono::steady_clock::now();
    std::vector<BatchItem> items = collectRecordings(o.inputs, o.outputDir);
    if (items.empty()) {
        std::fprintf(stderr, "sonvola-transcribe: no audio files in %s\n",
                     o.inputs.front().c_str());
        return 1;
    }
    FILE* report = nullptr;
    if (!o.reportPath.empty()) {
        report = o.reportPath == "-" ? stdout : std::fopen(o.reportPath.c_str(), "w");
        if (!report) {
            std::fprintf(stderr, "sonvola-transcribe: cannot write %s: %s\n", o.reportPath.c_str(),
                         std::strerror(errno));
            return 1;
        }
    }
    const JobShare share =
        shareJobs(o.jobs > 0 ? o.jobs : threadsFor(std::getenv("SONVOLA_THREADS")), items.size());
    const std::string record = optionsRecord(o);
    const std::string self = getProgramDir() + "sonvola-transcribe";
    const bool live = !o.quiet && ::isatty(STDERR_FILENO);

    handleStopSignals(onBatchStop);
    size_t next = 0, finished = 0;
    int done = 0, skipped = 0, failed = 0, stopped = 0;
    std::vector<Running> running;
    std::set<std::string> prefixes;  // two recordings never write one output

    auto finish = [&](size_t index, const std::string& status, const std::string& message,
                      double seconds) {
        const BatchItem& item = items[index];
        ++finished;
        const bool made = status == "done" || status == "skipped";
        ReportLine line{item.recording,
                        made ? item.prefix + ".txt" : "",
                        made ? item.prefix + ".mid" : "",
                        status,
                        message,
                        seconds,
                        made ? countScoreNotes(item.prefix + ".txt") : -1};
        if (status == "done") ++done;
        if (status == "skipped") ++skipped;
        if (status == "failed") ++failed;
        if (status == "stopped") ++stopped;
        if (report) {
            std::fprintf(report, "%s\n", reportJson(line).c_str());
            std::fflush(report);
        }
        if (!o.quiet) {
            std::string what = status;
            if (status == "done") what += format(" in %.1f s, %d notes", seconds, line.notes);
            if (!message.empty()) what += ": " + message;
            std::fprintf(stderr, "%s[%zu/%zu] %s: %s\n", live ? "\r\033[K" : "", finished,
                         items.size(), item.recording.c_str(), what.c_str());
        }
    };

    auto startRun = [&](size_t index) {
        const BatchItem& item = items[index];
        if (item.prefix.empty()) {
            finish(index, "failed", "cannot read " + item.recording + ": no such file", 0.0);
            return;
        }
        if (!prefixes.insert(item.prefix).second) {
            finish(index, "failed", "another recording already writes " + item.prefix + ".mid",
                   0.0);
            return;
        }
        if (o.skipDone && alreadyDone(item, record)) {
            finish(index, "skipped", "", 0.0);
            return;
        }
        std::error_code ec;
        fs::create_directories(fs::path(item.prefix).parent_path(), ec);
        std::vector<std::string> args{self};
        args.insert(args.end(), o.analysisArgs.begin(), o.analysisArgs.end());
        args.insert(args.end(), {"--quiet", "--output-prefix", item.prefix, item.recording});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            if (std::strncmp(*e, "SONVOLA_THREADS=", 16) != 0) env.emplace_back(*e);
        }
        env.push_back("SONVOLA_THREADS=" + std::to_string(share.threads));
        std::vector<char*> envp;
        for (auto& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);
        int err[2];
        if (::pipe2(err, O_CLOEXEC) != 0) {
            finish(index, "failed", std::string("cannot make a pipe: ") + std::strerror(errno),
                   0.0);
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, err[1], 2);
        Running r;
        r.item = index;
        r.start = std::chrono::steady_clock::now();
        const int rc =
            posix_spawn(&r.pid, self.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        ::close(err[1]);
        if (rc != 0) {
            ::close(err[0]);
            finish(index, "failed", "cannot start " + self + ": " + std::strerror(rc), 0.0);
            return;
        }
        r.errFd = err[0];
        for (int i = 0; i < kMaxChildren; ++i) {
            if (children[i] == 0) {
                children[i] = r.pid;
                r.slot = i;
                break;
            }
        }
        if (batchStopSignal) ::kill(r.pid, batchStopSignal);
        running.push_back(std::move(r));
    };

    int shownPercent = -1;
    while (next < items.size() || !running.empty()) {
        while (!batchStopSignal && next < items.size() &&
               static_cast<int>(running.size()) < share.files) {
            startRun(next++);
        }
        if (batchStopSignal && next < items.size()) {
            // What has not started is not started any more.
            while (next < items.size()) finish(next++, "stopped", "", 0.0);
        }
        if (running.empty()) continue;
        if (live) {
            const int percent = static_cast<int>(100 * finished / items.size());
            if (percent != shownPercent) {
                shownPercent = percent;
                std::fprintf(stderr, "\r\033[K[%zu/%zu] %d %% (%zu running)", finished,
                             items.size(), percent, running.size());
            }
        }
        std::vector<pollfd> fds;
        for (const Running& r : running) fds.push_back({r.errFd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), -1) < 0 && errno != EINTR) break;
        for (size_t i = 0; i < running.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buf[4096];
            const ssize_t n = ::read(running[i].errFd, buf, sizeof buf);
            if (n > 0) {
                running[i].err.append(buf, static_cast<size_t>(n));
                if (running[i].err.size() > 65536) running[i].err.erase(0, 32768);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            // The run closed its standard error: it has ended.
            Running r = std::move(running[i]);
            running.erase(running.begin() + static_cast<long>(i));
            fds.erase(fds.begin() + static_cast<long>(i));
            --i;
            ::close(r.errFd);
            int status = 0;
            while (::waitpid(r.pid, &status, 0) < 0 && errno == EINTR) {
            }
            if (r.slot >= 0) children[r.slot] = 0;
            const double seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - r.start).count();
            const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            if (code == 0) {
                finish(r.item, "done", "", seconds);
            } else if (code > 128 && batchStopSignal) {
                finish(r.item, "stopped", "", seconds);
            } else {
                finish(r.item, "failed", lastMessage(r.err), seconds);
            }
        }
    }
    if (live) std::fprintf(stderr, "\r\033[K");
    if (report && report != stdout) std::fclose(report);
    const double total =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::string summary = format("%zu recordings: %d done", items.size(), done);
    if (skipped) summary += format(", %d skipped", skipped);
    summary += format(", %d failed", failed);
    if (stopped) summary += format(", %d stopped", stopped);
    std::fprintf(stdout, "%s (%.1f s)\n", summary.c_str(), total);
    if (batchStopSignal) return 128 + batchStopSignal;
    return failed > 0 ? 1 : 0;
}

}  // namespace sonvola
