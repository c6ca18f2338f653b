#include "tests/support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace sonvola::test {

std::string binPath(const std::string& name) {
    return std::string(SONVOLA_BIN_DIR) + "/" + name;
}

ProcessResult runProgram(const std::string& name, const std::vector<std::string>& args,
                         ProcessOptions options) {
    std::vector<std::string> full{name};
    full.insert(full.end(), args.begin(), args.end());
    return runProcess(binPath(name), full, options);
}

ProcessResult runTranscribe(const std::vector<std::string>& args, ProcessOptions options) {
    if (!options.env.count("SONVOLA_WORKDIR")) options.unsetEnv.push_back("SONVOLA_WORKDIR");
    return runProgram("sonvola-transcribe", args, options);
}

ProcessResult runStage(const std::string& name, const std::string& workDir,
                       std::vector<std::string> args, const std::string& stdinText) {
    ProcessOptions o;
    o.env["SONVOLA_WORKDIR"] = workDir;
    o.stdinText = stdinText;
    args.insert(args.begin(), name);
    return runProcess(binPath(name), args, o);
}

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
    ProcessResult result;
    int inPipe[2], outPipe[2], errPipe[2];
    if (pipe(inPipe) || pipe(outPipe) || pipe(errPipe)) return result;
    pid_t pid = fork();
    if (pid < 0) return result;
    if (pid == 0) {
        dup2(inPipe[0], 0);
        if (options.stdoutPath.empty()) {
            dup2(outPipe[1], 1);
        } else {
            const int fd = open(options.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0) _exit(126);
            dup2(fd, 1);
            close(fd);
        }
        if (options.fileSizeLimit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(options.fileSizeLimit),
                               static_cast<rlim_t>(options.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        dup2(errPipe[1], 2);
        for (int fd : {inPipe[0], inPipe[1], outPipe[0], outPipe[1], errPipe[0], errPipe[1]}) {
            close(fd);
        }
        for (const auto& name : options.unsetEnv) unsetenv(name.c_str());
        for (const auto& [k, v] : options.env) setenv(k.c_str(), v.c_str(), 1);
        if (!options.workingDir.empty() && chdir(options.workingDir.c_str()) != 0) _exit(126);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (size_t i = 1; i < args.size(); ++i) argv.push_back(const_cast<char*>(args[i].c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(inPipe[0]);
    close(outPipe[1]);
    close(errPipe[1]);
    signal(SIGPIPE, SIG_IGN);
    size_t written = 0;
    int inFd = inPipe[1];
    if (options.stdinText.empty()) {
        close(inFd);
        inFd = -1;
    } else {
        fcntl(inFd, F_SETFL, O_NONBLOCK);
    }
    bool outOpen = true, errOpen = true, signalled = false;
    char buf[65536];
    while (outOpen || errOpen) {
        pollfd fds[3];
        int nfds = 0;
        int outIdx = -1, errIdx = -1, inIdx = -1;
        if (outOpen) {
            fds[nfds] = {outPipe[0], POLLIN, 0};
            outIdx = nfds++;
        }
        if (errOpen) {
            fds[nfds] = {errPipe[0], POLLIN, 0};
            errIdx = nfds++;
        }
        if (inFd >= 0) {
            fds[nfds] = {inFd, POLLOUT, 0};
            inIdx = nfds++;
        }
        if (poll(fds, static_cast<nfds_t>(nfds), -1) < 0) break;
        auto drain = [&](int idx, int fd, std::string& into, bool& open) {
            if (idx < 0 || !(fds[idx].revents & (POLLIN | POLLHUP | POLLERR))) return;
            ssize_t n = read(fd, buf, sizeof buf);
            if (n <= 0) {
                open = false;
            } else {
                into.append(buf, static_cast<size_t>(n));
            }
        };
        drain(outIdx, outPipe[0], result.out, outOpen);
        drain(errIdx, errPipe[0], result.err, errOpen);
        if (options.signal != 0 && !signalled &&
            (result.err.find(options.when) != std::string::npos ||
             result.out.find(options.when) != std::string::npos)) {
            usleep(static_cast<useconds_t>(options.delayMs) * 1000);
            kill(pid, options.signal);
            signalled = true;
        }
        if (inIdx >= 0 && (fds[inIdx].revents & (POLLOUT | POLLERR | POLLHUP))) {
            ssize_t n =
                write(inFd, options.stdinText.data() + written, options.stdinText.size() - written);
            if (n > 0) written += static_cast<size_t>(n);
            if (n < 0 || written == options.stdinText.size()) {
                close(inFd);
                inFd = -1;
            }
        }
    }
    if (inFd >= 0) close(inFd);
    close(outPipe[0]);
    close(errPipe[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return result;
}

}  // namespace sonvola::test
