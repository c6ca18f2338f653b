#include "common/console.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/noteindex.h"
#include "common/numbers.h"

namespace sonvola {
namespace {

TEST(WorkDir, EnvironmentVariableWinsAndGetsASlash) {
    EXPECT_EQ(chooseWorkDir("/opt/bin/", true, "/tmp/w", nullptr, "/home/u"), "/tmp/w/");
    EXPECT_EQ(chooseWorkDir("/opt/bin/", false, "/tmp/w/", "/x", "/home/u"), "/tmp/w/");
}

TEST(WorkDir, ProgramDirectoryWhenWritable) {
    EXPECT_EQ(chooseWorkDir("/opt/bin/", true, nullptr, nullptr, "/home/u"), "/opt/bin/");
    EXPECT_EQ(chooseWorkDir("/opt/bin/", true, "", nullptr, "/home/u"), "/opt/bin/");
}

TEST(WorkDir, DataHomeWhenProgramDirectoryIsReadOnly) {
    EXPECT_EQ(chooseWorkDir("/usr/bin/", false, nullptr, "/data", "/home/u"), "/data/sonvola/");
    EXPECT_EQ(chooseWorkDir("/usr/bin/", false, nullptr, nullptr, "/home/u"),
              "/home/u/.local/share/sonvola/");
    // Without a home, a folder of this user's own, never one all users share.
    EXPECT_EQ(chooseWorkDir("/usr/bin/", false, nullptr, nullptr, nullptr),
              "/tmp/sonvola-" + std::to_string(::geteuid()) + "/");
    EXPECT_EQ(chooseWorkDir("/usr/bin/", false, nullptr, "", ""),
              "/tmp/sonvola-" + std::to_string(::geteuid()) + "/");
}

TEST(StageDir, BuildTreeAndInstallations) {
    // Folders that hold SpecScan, as the file system would say.
    auto holding = [](std::vector<std::string> dirs) {
        return [dirs](const std::string& dir) {
            return std::find(dirs.begin(), dirs.end(), dir) != dirs.end();
        };
    };
    // The build tree: every program in one folder, wherever it is.
    EXPECT_EQ(
        chooseStageDir("/src/build/bin/", holding({"/src/build/bin/"}), "bin", "libexec/sonvola"),
        "/src/build/bin/");
    // A command of an installation, under any prefix.
    EXPECT_EQ(
        chooseStageDir("/usr/bin/", holding({"/usr/libexec/sonvola/"}), "bin", "libexec/sonvola"),
        "/usr/libexec/sonvola/");
    EXPECT_EQ(chooseStageDir("/home/u/.local/bin/", holding({"/home/u/.local/libexec/sonvola/"}),
                             "bin", "libexec/sonvola"),
              "/home/u/.local/libexec/sonvola/");
    // A stage (or sonvola-console) of an installation: its own folder.
    EXPECT_EQ(chooseStageDir("/opt/s/libexec/sonvola/", holding({"/opt/s/libexec/sonvola/"}), "bin",
                             "libexec/sonvola"),
              "/opt/s/libexec/sonvola/");
    // A bin folder without stages anywhere (a partial build): its own folder.
    EXPECT_EQ(chooseStageDir("/src/build/bin/", holding({}), "bin", "libexec/sonvola"),
              "/src/build/bin/");
    EXPECT_EQ(chooseStageDir("/somewhere/tools/", holding({"/somewhere/libexec/sonvola/"}), "bin",
                             "libexec/sonvola"),
              "/somewhere/tools/");
    // Folders configured as absolute paths.
    EXPECT_EQ(
        chooseStageDir("/usr/bin/", holding({"/usr/lib/sonvola/"}), "/usr/bin", "/usr/lib/sonvola"),
        "/usr/lib/sonvola/");
}

TEST(ProgramDir, EndsWithSlashAndHoldsThisTest) {
    std::string dir = getProgramDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(dir.find("/tests/"), dir.size() - 7);
}

std::string capture(void (*fill)(std::FILE*)) {
    char* buf = nullptr;
    size_t size = 0;
    std::FILE* f = open_memstream(&buf, &size);
    fill(f);
    std::fclose(f);
    std::string s(buf, size);
    free(buf);
    return s;
}

TEST(ArgumentEcho, UnderscoreArgumentsAreNotEchoed) {
    std::string text = capture([](std::FILE* f) {
        const char* args[] = {"prog", "_msec", "_", "a_b", "10", "_点"};
        printTitleAndArguments(f, "..Title\n\n", 6, const_cast<char**>(args));
    });
    EXPECT_EQ(text,
              "..Title\n\n..Argument\n"
              "Data of argv[0] is \"prog\".\n"
              "Data of argv[3] is \"a_b\".\n"
              "Data of argv[4] is \"10\".\n");
}

TEST(ReturnKey, PromptThenOneLineAndEndOfInputEndsTheWait) {
    std::FILE* in = std::tmpfile();
    std::fputs("first\nsecond\n", in);
    std::rewind(in);
    char* buf = nullptr;
    size_t size = 0;
    std::FILE* out = open_memstream(&buf, &size);
    waitForReturnKey(out, in);
    std::fflush(out);
    EXPECT_EQ(std::string(buf, size), "\n..Please enter RETURN KEY.");
    EXPECT_EQ(std::fgetc(in), 's');  // exactly one line consumed
    std::fclose(out);
    free(buf);
    std::fclose(in);

    std::FILE* empty = std::tmpfile();
    std::FILE* sink = std::tmpfile();
    waitForReturnKey(sink, empty);  // returns at once at end of input
    std::fclose(empty);
    std::fclose(sink);
}

TEST(SkipLines, StopsAfterTheCountedLineFeeds) {
    std::FILE* f = std::tmpfile();
    std::fputs("a\r\nb\n\nd\nrest", f);
    std::rewind(f);
    EXPECT_EQ(skipLines(f, 4), 4);
    EXPECT_EQ(std::fgetc(f), 'r');
    std::rewind(f);
    EXPECT_EQ(skipLines(f, 9), 4);  // the input ends first
    std::fclose(f);
}

TEST(LenientNumbers, LeadingNumberRestIgnoredZeroWhenAbsent) {
    EXPECT_EQ(parseLenientInt("120:"), 120);
    EXPECT_EQ(parseLenientInt("  -7x"), -7);
    EXPECT_EQ(parseLenientInt("abc"), 0);
    EXPECT_EQ(parseLenientInt("99999999999"), INT32_MAX);
    EXPECT_EQ(parseLenientInt("-99999999999"), INT32_MIN);
    EXPECT_DOUBLE_EQ(parseLenientDouble("10.5ms"), 10.5);
    EXPECT_DOUBLE_EQ(parseLenientDouble(""), 0.0);
}

TEST(LenientNumbers, DoublesReadExactlyAsStrtodReadsThem) {
    // The quick path must give strtod's bits for every kind of text.
    std::vector<std::string> texts = {"0.00",
                                      "-0.00",
                                      "5512.49",
                                      "-12.345e2",
                                      "1e400",
                                      "-1e400",
                                      "1e-400",
                                      "4.9e-324",
                                      "0x1p3",
                                      "-0x10",
                                      "+3.5",
                                      " 2.25",
                                      "inf",
                                      "nan",
                                      "1.",
                                      ".5",
                                      "-",
                                      "12abc",
                                      "7e",
                                      "0X2",
                                      "00012.5000",
                                      "123456789012345678901234567890.5",
                                      "999999999999999",
                                      "9999999999999999",
                                      "0.000000000000001",
                                      "12345678901234.5",
                                      "1234567890123456.5",
                                      "-0",
                                      "5."};
    std::mt19937_64 rng(11);
    for (int i = 0; i < 20000; ++i) {
        char buf[64];
        const double v =
            std::ldexp(static_cast<double>(rng() % 1000000007), static_cast<int>(rng() % 60) - 40);
        const int decimals = static_cast<int>(rng() % 9);
        if (i % 3 == 2) {
            std::snprintf(buf, sizeof buf, "%.*f", decimals, -v);
        } else {
            std::snprintf(buf, sizeof buf, i % 2 ? "%0.2f" : "%.17g", v);
        }
        texts.emplace_back(buf);
    }
    for (const auto& t : texts) {
        const double want = std::strtod(t.c_str(), nullptr);
        const double got = parseLenientDouble(t.c_str());
        EXPECT_EQ(std::memcmp(&want, &got, sizeof want), 0) << t;
    }
}

TEST(NoteIndex, SemitonesAboveC1) {
    EXPECT_EQ(noteIndex(32.703), 0);
    EXPECT_EQ(noteIndex(32.70319566257483), 0);
    EXPECT_EQ(noteIndex(440.0), 45);
    EXPECT_EQ(centsAboveC1(246.94), 3499);
    EXPECT_EQ(noteIndex(246.94), 35);
    EXPECT_EQ(noteIndex(65.40639132514966), 12);
}

TEST(NoteIndex, BelowC1AndNonPositive) {
    EXPECT_EQ(centsAboveC1(30.0), -149);
    EXPECT_EQ(noteIndex(30.0), 0);  // trunc(-0.99)
    EXPECT_EQ(centsAboveC1(16.0), -1237);
    EXPECT_EQ(noteIndex(16.0), -11);
    EXPECT_EQ(noteIndex(0.0), 0);
    EXPECT_EQ(noteIndex(-5.0), 0);
    EXPECT_EQ(noteIndex(std::nan("")), 0);
}

TEST(NoteIndex, CentsKeepTheLow16Bits) {
    // 2^(40000/1200) * C1 is far above any audio; its cents wrap in 16 bits.
    double f = 32.70319566257483 * std::pow(2.0, 40000.5 / 1200.0);
    EXPECT_EQ(centsAboveC1(f), static_cast<int16_t>(40000));
}

}  // namespace
}  // namespace sonvola

namespace sonvola {
namespace {

TEST(ProgressChannel, OneLinePerPercentToTheNamedDescriptor) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const int target = ::dup2(fds[1], 40);  // a descriptor above the standard ones
    ASSERT_EQ(target, 40);
    ::setenv("SONVOLA_PROGRESS_FD", "40", 1);
    {
        ProgressChannel progress("SpecScan");
        for (int64_t k = 0; k <= 1000; ++k) progress.report(k, 1000);
    }
    ::unsetenv("SONVOLA_PROGRESS_FD");
    ::close(40);
    ::close(fds[1]);
    std::string text;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<size_t>(n));
    ::close(fds[0]);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 101);  // 0 % to 100 %
    EXPECT_EQ(text.substr(0, 17), "SpecScan 0 1000\nS");
    EXPECT_TRUE(text.ends_with("SpecScan 1000 1000\n"));
    // Without the variable, or with a descriptor that is not open, nothing
    // happens (and nothing fails).
    ProgressChannel none("SpecScan");
    none.report(1, 2);
    ::setenv("SONVOLA_PROGRESS_FD", "41", 1);
    ProgressChannel closed("SpecScan");
    closed.report(1, 2);
    ::unsetenv("SONVOLA_PROGRESS_FD");
}

}  // namespace
}  // namespace sonvola
