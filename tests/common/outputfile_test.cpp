// Output files replaced whole or left as they were, and the strict number
// reading of options and the tools' readers.
#include "common/outputfile.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "common/console.h"
#include "common/numbers.h"
#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

using test::fileExists;
using test::readFile;
using test::TempDir;
using test::writeFile;

size_t entries(const TempDir& dir) {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir.path()), {}));
}

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

TEST(OutputFile, TargetChangesOnlyOnCommit) {
    TempDir dir;
    const std::string path = dir.file("out.txt");
    writeFile(path, "old");
    ::chmod(path.c_str(), 0640);
    {
        OutputFile out;
        const Status opened = out.open(path);
        ASSERT_TRUE(opened.ok()) << opened.message();
        EXPECT_NE(out.writingPath(), path);
        std::fputs("new", out.get());
        std::fflush(out.get());
        EXPECT_EQ(readFile(path), "old");
        const Status committed = out.commit();
        ASSERT_TRUE(committed.ok()) << committed.message();
    }
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(modeOf(path), 0640u) << "the old file's permissions are kept";
    {
        OutputFile out;
        ASSERT_TRUE(out.open(path).ok());
        std::fputs("abandoned", out.get());
    }  // gone without commit
    EXPECT_EQ(readFile(path), "new");
    EXPECT_EQ(entries(dir), 1u) << "no temporary file is left";
}

// A stop signal that arrives while the writing thread blocks the stop
// signals goes to another thread of the process; it is taken by the writing
// thread once it unblocks them, and the temporary file goes with it.
TEST(OutputFile, AStopSignalWaitsForTheWritingThread) {
    TempDir dir;
    const std::string path = dir.file("out.txt");
    const std::string marker = dir.file("still-running");
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        installTemporaryFileCleanup();
        OutputFile out;
        if (!out.open(path).ok()) ::_exit(2);
        std::thread other([] { ::pause(); });
        other.detach();
        sigset_t stop, old;
        sigemptyset(&stop);
        sigaddset(&stop, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stop, &old);
        ::kill(::getpid(), SIGTERM);  // taken by the other thread
        ::usleep(200 * 1000);
        writeFile(marker, "yes");
        pthread_sigmask(SIG_SETMASK, &old, nullptr);  // the signal arrives here
        ::usleep(2000 * 1000);
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit code " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGTERM);
    EXPECT_TRUE(fileExists(marker)) << "the signal did not wait for the writing thread";
    EXPECT_FALSE(fileExists(path));
    EXPECT_EQ(entries(dir), 1u) << "the temporary file was left";
}

TEST(OutputFile, OnlyIfAbsentNeverReplaces) {
    TempDir dir;
    for (const char* name : {"there.txt", "absent.txt"}) {
        if (std::string(name) == "there.txt") writeFile(dir.file(name), "kept");
        OutputFile out;
        ASSERT_TRUE(out.open(dir.file(name)).ok());
        std::fputs("partial", out.get());
        const Status committed = out.commit(OutputFile::Replace::OnlyIfAbsent);
        ASSERT_TRUE(committed.ok()) << committed.message();
    }
    EXPECT_EQ(readFile(dir.file("there.txt")), "kept");
    EXPECT_EQ(readFile(dir.file("absent.txt")), "partial");
    EXPECT_EQ(entries(dir), 2u);
}

TEST(OutputFile, LinksAreFollowedAndFailuresNamed) {
    TempDir dir;
    writeFile(dir.file("real.txt"), "old");
    ASSERT_EQ(::symlink("real.txt", dir.file("a").c_str()), 0);
    ASSERT_EQ(::symlink("a", dir.file("b").c_str()), 0);  // a link to a link
    Status written = writeWholeFile(dir.file("b"), "through two links");
    ASSERT_TRUE(written.ok()) << written.message();
    EXPECT_EQ(readFile(dir.file("real.txt")), "through two links");
    struct stat st {};
    ASSERT_EQ(::lstat(dir.file("b").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    ASSERT_EQ(::symlink("loop2", dir.file("loop1").c_str()), 0);
    ASSERT_EQ(::symlink("loop1", dir.file("loop2").c_str()), 0);
    written = writeWholeFile(dir.file("loop1"), "x");
    EXPECT_EQ(written.message(), "cannot follow the link " + dir.file("loop1") +
                                     ": Too many levels of symbolic links");
    written = writeWholeFile(dir.file("no/such/folder/x"), "x");
    EXPECT_EQ(written.message(),
              "cannot write " + dir.file("no/such/folder/x") + ": No such file or directory");
    written = writeWholeFile(dir.path(), "x");
    EXPECT_EQ(written.message(), "cannot write " + dir.path() + ": Is a directory");
    written = writeWholeFile("", "x");
    EXPECT_EQ(written.message(), "no output file named");
}

TEST(OutputFile, DevicesAreWrittenDirectly) {
    const Status nothing = writeWholeFile("/dev/null", "nothing");
    EXPECT_TRUE(nothing.ok()) << nothing.message();
    struct stat st {};
    ASSERT_EQ(::stat("/dev/null", &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    // A full device reports the failure instead of success.
    EXPECT_EQ(writeWholeFile("/dev/full", std::string(100000, 'x')).message(),
              "cannot write /dev/full: No space left on device");
}

TEST(StrictNumbers, WholeTextOrNothing) {
    int64_t i = 7;
    double d = 7.0;
    for (const char* bad : {"", " 5", "5 ", "5abc", "1O0", "128abc", "nan", "inf", "-", "+", "+-5",
                            "0x10", "99999999999999999999"}) {
        EXPECT_FALSE(parseStrictInt(bad, i)) << bad;
    }
    EXPECT_EQ(i, 7) << "untouched on failure";
    for (const char* bad : {"", "nan", "NaN", "inf", "-inf", "5abc", "1e400", "1,5", ".", "e5",
                            " 1", "0x1p3", "+-1"}) {
        EXPECT_FALSE(parseStrictDouble(bad, d)) << bad;
    }
    EXPECT_TRUE(parseStrictInt("-42", i));
    EXPECT_EQ(i, -42);
    EXPECT_TRUE(parseStrictInt("+128", i));
    EXPECT_EQ(i, 128);
    EXPECT_TRUE(parseStrictDouble("10.5", d));
    EXPECT_EQ(d, 10.5);
    EXPECT_TRUE(parseStrictDouble("1e3", d));
    EXPECT_EQ(d, 1000.0);
    EXPECT_TRUE(parseStrictDouble("-0.25", d));
    EXPECT_EQ(d, -0.25);
}

TEST(WorkFolderLock, OneHolderAtATime) {
    TempDir dir;
    // The lock is per open of the folder: a second process (here a child)
    // cannot take it while this one holds it.
    const Status locked = lockWorkDir(dir.path());
    ASSERT_TRUE(locked.ok()) << locked.message();
    const pid_t child = ::fork();
    if (child == 0) {
        const Status again = lockWorkDir(dir.path());
        ::_exit(again ? 0 : (again.message().find("another stage") != std::string::npos ? 3 : 4));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 3);
    EXPECT_EQ(
        lockWorkDir(dir.file("missing")).message(),
        "err: cannot use the work folder " + dir.file("missing") + ": No such file or directory\n");
}

}  // namespace
}  // namespace sonvola
