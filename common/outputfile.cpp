#include "common/outputfile.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace sonvola {

namespace {

// Temporary files to remove on a signal. The handler reads the slots; they
// are changed with the signals blocked, so it never sees half a path.
constexpr int kCleanupSlots = 16;
char cleanupPaths[kCleanupSlots][PATH_MAX];
volatile sig_atomic_t cleanupUsed[kCleanupSlots];

class SignalsBlocked {
  public:
    SignalsBlocked() {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGINT);
        sigaddset(&set, SIGTERM);
        sigaddset(&set, SIGHUP);
        sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~SignalsBlocked() { sigprocmask(SIG_SETMASK, &old_, nullptr); }

  private:
    sigset_t old_;
};

int registerTemporary(const std::string& path) {
    if (path.size() >= PATH_MAX) return -1;
    SignalsBlocked blocked;
    for (int i = 0; i < kCleanupSlots; ++i) {
        if (!cleanupUsed[i]) {
            std::memcpy(cleanupPaths[i], path.c_str(), path.size() + 1);
            cleanupUsed[i] = 1;
            return i;
        }
    }
    return -1;
}

void unregisterTemporary(int& slot) {
    if (slot < 0) return;
    SignalsBlocked blocked;
    cleanupUsed[slot] = 0;
    slot = -1;
}

// The thread that lists the temporary files (it blocks the stop signals
// while it does). A signal the kernel hands to another thread meanwhile (a
// worker of the thread pool) is passed on to it, to be taken when the list
// is whole again: removed there, a file made but not listed yet was left.
pthread_t cleanupThread;
volatile sig_atomic_t cleanupThreadKnown = 0;

extern "C" void removeTemporariesAndDie(int sig) {
    if (cleanupThreadKnown && !pthread_equal(pthread_self(), cleanupThread)) {
        pthread_kill(cleanupThread, sig);
        return;
    }
    for (int i = 0; i < kCleanupSlots; ++i) {
        if (cleanupUsed[i]) ::unlink(cleanupPaths[i]);
    }
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

std::string withCause(const char* what, const std::string& path, int err) {
    return std::string(what) + " " + path + ": " + std::strerror(err);
}

// The permissions a new file gets: 0666 less the umask.
mode_t newFileMode() {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "Umask:") {
            unsigned mask = 022;
            status >> std::oct >> mask;
            return static_cast<mode_t>(0666 & ~mask);
        }
    }
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// Follows symbolic links from `path` to the name that is finally written,
// which need not exist yet (a dangling link names the file to create).
Result<std::string> resolveTarget(const std::string& path) {
    std::string target = path;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return target;
        std::vector<char> buf(PATH_MAX + 1);
        const ssize_t n = ::readlink(target.c_str(), buf.data(), buf.size() - 1);
        if (n < 0) return Status::error(withCause("cannot follow the link", target, errno));
        std::string next(buf.data(), static_cast<size_t>(n));
        target = (!next.empty() && next[0] == '/') ? next : folderOf(target) + "/" + next;
    }
    return Status::error(withCause("cannot follow the link", path, ELOOP));
}

Status copyInto(const std::string& from, const std::string& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return Status::error(withCause("cannot read", from, errno));
    const int out = ::open(to.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (out < 0) {
        Status failed = Status::error(withCause("cannot write", to, errno));
        ::close(in);
        return failed;
    }
    char buf[65536];
    Status status;
    for (;;) {
        const ssize_t n = ::read(in, buf, sizeof buf);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            status = Status::error(withCause("cannot read", from, errno));
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buf + done, static_cast<size_t>(n - done));
            if (w < 0) {
                if (errno == EINTR) continue;
                status = Status::error(withCause("cannot write", to, errno));
                break;
            }
            done += w;
        }
        if (!status) break;
    }
    ::close(in);
    if (::close(out) != 0 && status) status = Status::error(withCause("cannot write", to, errno));
    return status;
}

}  // namespace

OutputFile::~OutputFile() {
    discard();
}

Status OutputFile::open(const std::string& path, bool seekable) {
    discard();
    path_ = path;
    if (path.empty()) return Status::error("no output file named");
    Result<std::string> target = resolveTarget(path);
    if (!target) return target.status();
    target_ = std::move(*target);
    struct stat st {};
    const bool exists = ::stat(target_.c_str(), &st) == 0;
    direct_ = exists && !S_ISREG(st.st_mode);
    if (exists && S_ISDIR(st.st_mode))
        return Status::error(withCause("cannot write", path, EISDIR));
    if (direct_ && !seekable) {
        file_ = std::fopen(target_.c_str(), "wb");
        if (!file_) return Status::error(withCause("cannot write", path, errno));
        writing_ = target_;
        return {};
    }
    copyOnCommit_ = direct_;
    direct_ = false;
    // The temporary file goes beside the target, so that the rename stays
    // within one file system; a copied one may go anywhere it can be made.
    std::string base = target_;
    if (copyOnCommit_) {
        const char* tmp = std::getenv("TMPDIR");
        struct stat ts {};
        base = (tmp && *tmp && ::stat(tmp, &ts) == 0 && S_ISDIR(ts.st_mode)) ? tmp : "/tmp";
        base += "/sonvola-output";
    }
    std::string name = base + ".tmp-XXXXXX";
    std::vector<char> buf(name.begin(), name.end());
    buf.push_back('\0');
    int fd = -1;
    {
        // No interrupt between making the file and listing it for removal.
        SignalsBlocked blocked;
        fd = ::mkstemp(buf.data());
        if (fd >= 0) registered_ = registerTemporary(buf.data());
    }
    if (fd < 0) return Status::error(withCause("cannot write", path, errno));
    writing_ = buf.data();
    const mode_t mode = exists && !copyOnCommit_ ? (st.st_mode & 07777) : newFileMode();
    if (::fchmod(fd, mode) != 0) {
        // Not fatal: the file is then only readable by its owner.
    }
    file_ = ::fdopen(fd, "w+b");
    if (!file_) {
        Status failed = Status::error(withCause("cannot write", path, errno));
        ::close(fd);
        discard();
        return failed;
    }
    return {};
}

Status OutputFile::commit(Replace replace) {
    if (!file_) return Status::error("cannot write " + path_ + ": not open");
    int err = 0;
    if (std::fflush(file_) != 0 || std::ferror(file_)) err = errno ? errno : EIO;
    if (!err && !direct_ && !copyOnCommit_ && ::fsync(::fileno(file_)) != 0 && errno != EINVAL) {
        err = errno;
    }
    if (std::fclose(file_) != 0 && !err) err = errno ? errno : EIO;
    file_ = nullptr;
    if (err) {
        discard();
        return Status::error(withCause("cannot write", path_, err));
    }
    if (direct_) return {};
    if (copyOnCommit_) {
        Status copied = copyInto(writing_, target_);
        discard();
        return copied;
    }
    if (replace == Replace::OnlyIfAbsent) {
        // link() never replaces: an existing target stays as it was.
        if (::link(writing_.c_str(), target_.c_str()) != 0 && errno != EEXIST) {
            // A file system without hard links: look, then rename.
            struct stat st {};
            const bool linkless = errno == EPERM || errno == EOPNOTSUPP;
            if (!linkless || (::lstat(target_.c_str(), &st) != 0 &&
                              ::rename(writing_.c_str(), target_.c_str()) != 0)) {
                Status failed = Status::error(withCause("cannot write", path_, errno));
                discard();
                return failed;
            }
        }
        discard();
        return {};
    }
    if (::rename(writing_.c_str(), target_.c_str()) != 0) {
        Status failed = Status::error(withCause("cannot write", path_, errno));
        discard();
        return failed;
    }
    unregisterTemporary(registered_);
    writing_.clear();
    return {};
}

void OutputFile::discard() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!direct_ && !writing_.empty()) ::unlink(writing_.c_str());
    unregisterTemporary(registered_);
    writing_.clear();
    direct_ = false;
    copyOnCommit_ = false;
}

Status writeWholeFile(const std::string& path, const std::string& bytes) {
    if (path == "-") {
        if (std::fwrite(bytes.data(), 1, bytes.size(), stdout) != bytes.size() ||
            std::fflush(stdout) != 0) {
            return Status::error(withCause("cannot write", "standard output", errno ? errno : EIO));
        }
        return {};
    }
    OutputFile out;
    if (Status opened = out.open(path); !opened) return opened;
    std::fwrite(bytes.data(), 1, bytes.size(), out.get());
    return out.commit();
}

namespace {
// exit() skips the destructors of the objects on the stack: a program that
// ends through its fatal-error routine leaves no temporary file either.
void removeTemporariesAtExit() {
    for (int i = 0; i < kCleanupSlots; ++i) {
        if (cleanupUsed[i]) ::unlink(cleanupPaths[i]);
        cleanupUsed[i] = 0;
    }
}
}  // namespace

void installTemporaryFileCleanup() {
    static bool atExit = false;
    if (!atExit) std::atexit(removeTemporariesAtExit);
    atExit = true;
    cleanupThread = pthread_self();
    cleanupThreadKnown = 1;
    handleStopSignals(removeTemporariesAndDie);
}

void handleStopSignals(void (*handler)(int)) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
        struct sigaction sa {};
        sa.sa_handler = handler;
        sigemptyset(&sa.sa_mask);
        ::sigaction(sig, &sa, nullptr);
    }
}

namespace {
const char* stdoutProgram = "sonvola";

void checkStandardOutput() {
    const bool failed = std::ferror(stdout) != 0;
    errno = 0;
    if (std::fflush(stdout) != 0 || failed) {
        const int err = errno;
        std::fprintf(stderr, "%s: cannot write standard output%s%s\n", stdoutProgram,
                     err ? ": " : "", err ? std::strerror(err) : "");
        ::_exit(1);
    }
}
}  // namespace

void checkStandardOutputAtExit(const char* programName) {
    stdoutProgram = programName;
    static bool installed = false;
    if (!installed) std::atexit(checkStandardOutput);
    installed = true;
}

}  // namespace sonvola
