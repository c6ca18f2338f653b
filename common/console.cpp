#include "common/console.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/outputfile.h"

namespace sonvola {

void initConsole(const char* programName) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setlocale(LC_ALL, "C");
    installTemporaryFileCleanup();
    checkStandardOutputAtExit(programName);
}

std::string getProgramDir() {
    std::vector<char> buf(4096);
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0) return "./";
        if (static_cast<size_t>(n) < buf.size()) {
            std::string path(buf.data(), static_cast<size_t>(n));
            auto slash = path.rfind('/');
            if (slash == std::string::npos) return "./";
            return path.substr(0, slash + 1);
        }
        buf.resize(buf.size() * 2);  // the path did not fit: try a larger buffer
    }
}

static std::string withSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

// Whether `dir` (ending with "/") is the folder `tail` (ending with "/",
// relative) of some prefix: ".../tail".
static bool endsWithFolder(const std::string& dir, const std::string& tail) {
    return dir.size() > tail.size() &&
           dir.compare(dir.size() - tail.size(), tail.size(), tail) == 0 &&
           dir[dir.size() - tail.size() - 1] == '/';
}

std::string chooseStageDir(const std::string& programDir,
                           const std::function<bool(const std::string&)>& hasStages,
                           const std::string& binDir, const std::string& stageDir) {
    if (hasStages(programDir)) return programDir;
    if (stageDir.empty()) return programDir;
    const std::string stages = withSlash(stageDir);
    const bool absolute = stages[0] == '/';
    // A stage itself, or sonvola-console, in an installation.
    if (absolute ? programDir == stages : endsWithFolder(programDir, stages)) return programDir;
    // A command in PREFIX/bin: its stages are in PREFIX/libexec/sonvola.
    std::string candidate;
    const std::string bin = withSlash(binDir);
    if (absolute)
        candidate = stages;
    else if (endsWithFolder(programDir, bin))
        candidate = programDir.substr(0, programDir.size() - bin.size()) + stages;
    if (!candidate.empty() && hasStages(candidate)) return candidate;
    return programDir;
}

static bool holdsStages(const std::string& dir) {
    return ::access((dir + "SpecScan").c_str(), X_OK) == 0;
}

std::string getStageDir() {
    return chooseStageDir(getProgramDir(), holdsStages, SONVOLA_INSTALL_BINDIR,
                          SONVOLA_INSTALL_STAGEDIR);
}

bool runsInstalled() {
    const std::string programDir = getProgramDir();
    const std::string stages = withSlash(SONVOLA_INSTALL_STAGEDIR);
    if (getStageDir() != programDir) return true;
    return stages[0] == '/' ? programDir == stages : endsWithFolder(programDir, stages);
}

std::string chooseWorkDir(const std::string& programDir, bool programDirWritable,
                          const char* workdirEnv, const char* xdgDataHome, const char* home) {
    if (workdirEnv && *workdirEnv) return withSlash(workdirEnv);
    if (programDirWritable) return withSlash(programDir);
    if (xdgDataHome && *xdgDataHome) return withSlash(xdgDataHome) + "sonvola/";
    if (home && *home) return withSlash(home) + ".local/share/sonvola/";
    // No home at all (a service account, a bare container): a folder of this
    // user's own, never one that all users share.
    return "/tmp/sonvola-" + std::to_string(::geteuid()) + "/";
}

std::string getWorkDir() {
    std::string programDir = getProgramDir();
    // An installation keeps its folders for programs alone, even a
    // writable one (a prefix of the user's own).
    bool writable = ::access(programDir.c_str(), W_OK) == 0 && !runsInstalled();
    std::string dir = chooseWorkDir(programDir, writable, std::getenv("SONVOLA_WORKDIR"),
                                    std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    if (dir != withSlash(programDir)) {
        std::error_code ec;  // a folder that cannot be made shows up when it is locked
        std::filesystem::path folder(dir);
        std::filesystem::create_directories(folder.parent_path().parent_path(), ec);
        ::mkdir(dir.c_str(), 0700);
    }
    return dir;
}

Status lockWorkDir(const std::string& workDir) {
    // The descriptor stays open (and the lock held) until the process ends.
    const int fd = ::open(workDir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return Status::error(format("err: cannot use the work folder %s: %s\n", workDir.c_str(),
                                    std::strerror(errno)));
    }
    // A folder that somebody else made where this user's own was to be (the
    // shared /tmp fallback) could hold lists that name files to write: only
    // folders of this user, the program folder and a chosen SONVOLA_WORKDIR
    // are used.
    struct stat st {};
    const char* env = std::getenv("SONVOLA_WORKDIR");
    if (::fstat(fd, &st) == 0 && st.st_uid != ::geteuid() && !(env && *env) &&
        withSlash(workDir) != getProgramDir()) {
        ::close(fd);
        return Status::error(format(
            "err: the work folder %s belongs to another user; set SONVOLA_WORKDIR to a folder "
            "of your own\n",
            workDir.c_str()));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        ::close(fd);
        return Status::error(
            err == EWOULDBLOCK
                ? format("err: another stage is running in the work folder %s; wait until "
                         "it has ended (or give this run a folder of its own with "
                         "SONVOLA_WORKDIR)\n",
                         workDir.c_str())
                : format("err: cannot lock the work folder %s: %s\n", workDir.c_str(),
                         std::strerror(err)));
    }
    return {};
}

void printTitleAndArguments(std::FILE* out, const char* title, int argc, char** argv) {
    std::fputs(title, out);
    std::fputs("..Argument\n", out);
    for (int i = 0; i < argc; ++i) {
        if (argv[i][0] != '_') std::fprintf(out, "Data of argv[%d] is \"%s\".\n", i, argv[i]);
    }
}

void readOneLine(std::FILE* in) {
    int c;
    do {
        c = std::fgetc(in);
    } while (c != EOF && c != '\n');
}

void waitForReturnKey(std::FILE* out, std::FILE* in) {
    std::fputs("\n..Please enter RETURN KEY.", out);
    std::fflush(out);
    readOneLine(in);
}

void fatalError(std::FILE* stream, const std::string& message) {
    std::fputs(message.c_str(), stream);
    std::fflush(stream);
    readOneLine(stdin);
    std::exit(1);
}

int skipLines(std::FILE* file, int count) {
    int seen = 0;
    while (seen < count) {
        int c = std::getc(file);
        if (c == EOF) break;
        if (c == '\n') ++seen;
    }
    return seen;
}

ProgressChannel::ProgressChannel(const char* stage) : stage_(stage) {
    const char* env = std::getenv("SONVOLA_PROGRESS_FD");
    if (!env || !*env) return;
    char* end = nullptr;
    const long fd = std::strtol(env, &end, 10);
    if (*end != '\0' || fd < 3 || fd > 1024 || ::fcntl(static_cast<int>(fd), F_GETFD) < 0) return;
    fd_ = static_cast<int>(fd);
}

void ProgressChannel::report(int64_t done, int64_t total) {
    if (fd_ < 0 || total <= 0) return;
    const int64_t percent = done >= total ? 100 : done * 100 / total;
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    const std::string line = format("%s %lld %lld\n", stage_, static_cast<long long>(done),
                                    static_cast<long long>(total));
    if (::write(fd_, line.data(), line.size()) < 0) fd_ = -1;
}

std::string format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string s(n > 0 ? static_cast<size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(s.data(), s.size() + 1, fmt, ap2);
    va_end(ap2);
    return s;
}

}  // namespace sonvola
