// The thread count: SONVOLA_THREADS, the affinity mask and the control
// group's CPU quota.
#include "common/threads.h"

#include <gtest/gtest.h>
#include <sched.h>

#include <filesystem>
#include <thread>

#include "tests/support/tempdir.h"

namespace sonvola {
namespace {

using test::TempDir;
using test::writeFile;

TEST(ParseThreadCount, TakesWholeNumbersFromOneTo1024) {
    EXPECT_EQ(parseThreadCount("1"), 1);
    EXPECT_EQ(parseThreadCount("3"), 3);
    EXPECT_EQ(parseThreadCount("64"), 64);
    EXPECT_EQ(parseThreadCount("1024"), 1024);
    EXPECT_EQ(parseThreadCount("0008"), 8);
}

TEST(ParseThreadCount, RefusesEverythingElse) {
    for (const char* text : {"", "0", "0000", "1025", "9999", "10000", "-2", "+2", " 2", "2 ", "2x",
                             "x", "2.0", "1e3", "0x10", "99999999999999999999999"}) {
        EXPECT_EQ(parseThreadCount(text), 0) << '"' << text << '"';
    }
    EXPECT_EQ(parseThreadCount(nullptr), 0);
}

TEST(ThreadsFor, AWholeNumberWinsAnythingElseGivesTheCores) {
    const int cores = availableCores();
    EXPECT_EQ(threadsFor("3"), 3);
    EXPECT_EQ(threadsFor("1"), 1);
    EXPECT_EQ(threadsFor("1024"), 1024);
    EXPECT_EQ(threadsFor(nullptr), cores);
    EXPECT_EQ(threadsFor(""), cores);
    EXPECT_EQ(threadsFor("0"), cores);
    EXPECT_EQ(threadsFor("1025"), cores);
    EXPECT_EQ(threadsFor("two"), cores);
    EXPECT_EQ(threadsFor("-1"), cores);
}

TEST(AvailableCores, AtLeastOneAndNoMoreThanTheAffinityMask) {
    cpu_set_t set;
    CPU_ZERO(&set);
    ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
    const int cores = availableCores();
    EXPECT_GE(cores, 1);
    EXPECT_LE(cores, CPU_COUNT(&set));
    const int limit = cgroupCpuLimit();
    if (limit > 0) {
        EXPECT_LE(cores, limit);
    }
}

// A control-group tree in a temporary folder.
class CgroupTree : public ::testing::Test {
  protected:
    void put(const std::string& relative, const std::string& text) {
        const std::filesystem::path p = dir.path() + "/root/" + relative;
        std::filesystem::create_directories(p.parent_path());
        writeFile(p.string(), text);
    }
    void self(const std::string& text) { writeFile(dir.file("cgroup"), text); }
    int limit() const { return cgroupCpuLimit(dir.path() + "/root", dir.file("cgroup")); }

    TempDir dir;
};

TEST_F(CgroupTree, NoFilesNoLimit) {
    EXPECT_EQ(limit(), 0);  // neither the tree nor the membership file is there
    self("0::/\n");
    EXPECT_EQ(limit(), 0);
}

TEST_F(CgroupTree, V2QuotaIsRoundedUp) {
    self("0::/\n");
    const std::pair<const char*, int> cases[] = {
        {"max 100000\n", 0},
        {"100000 100000\n", 1},
        {"50000 100000\n", 1},
        {"150000 100000\n", 2},
        {"200000 100000\n", 2},
        {"200001 100000\n", 3},
        {"1 100000\n", 1},
        {"300000\n", 3},
        {"100000 50000\n", 2},
        {"abc 100000\n", 0},
        {"100000 0\n", 0},
        {"-5 100000\n", 0},
        {"\n", 0},
    };
    for (const auto& [text, cpus] : cases) {
        put("cpu.max", text);
        EXPECT_EQ(limit(), cpus) << text;
    }
}

TEST_F(CgroupTree, V2GroupAndItsParentsTheTightestWins) {
    self("0::/outer/inner\n");
    put("outer/inner/cpu.max", "max 100000\n");
    put("outer/cpu.max", "250000 100000\n");
    EXPECT_EQ(limit(), 3);
    put("outer/inner/cpu.max", "100000 100000\n");
    EXPECT_EQ(limit(), 1);
    put("outer/inner/cpu.max", "max 100000\n");
    put("cpu.max", "200000 100000\n");
    EXPECT_EQ(limit(), 2);
}

TEST_F(CgroupTree, V2GroupNotMountedFallsBackToTheRoot) {
    // Inside a container the process's own group is the root of the tree.
    self("0::/system.slice/box.scope\n");
    put("cpu.max", "400000 100000\n");
    EXPECT_EQ(limit(), 4);
}

TEST_F(CgroupTree, V1QuotaAndPeriod) {
    self("12:pids:/\n4:cpu,cpuacct:/grp\n0::/\n");
    put("cpu,cpuacct/grp/cpu.cfs_quota_us", "150000\n");
    put("cpu,cpuacct/grp/cpu.cfs_period_us", "100000\n");
    EXPECT_EQ(limit(), 2);
    put("cpu,cpuacct/grp/cpu.cfs_quota_us", "-1\n");
    EXPECT_EQ(limit(), 0);
    put("cpu,cpuacct/grp/cpu.cfs_quota_us", "50000\n");
    EXPECT_EQ(limit(), 1);
    put("cpu,cpuacct/grp/cpu.cfs_period_us", "0\n");
    EXPECT_EQ(limit(), 0);
}

TEST_F(CgroupTree, V1AtTheRootOfTheCpuMount) {
    // No membership file: the root group of the "cpu" mount still counts.
    put("cpu/cpu.cfs_quota_us", "400000\n");
    put("cpu/cpu.cfs_period_us", "100000\n");
    EXPECT_EQ(limit(), 4);
    put("cpu/cpu.cfs_quota_us", "-1\n");
    EXPECT_EQ(limit(), 0);
}

TEST_F(CgroupTree, V1ControllerListsAreMatchedWordForWord) {
    // "cpuset" and "cpuacct" are other controllers.
    self("3:cpuset:/a\n2:cpuacct:/a\n");
    put("cpuset/a/cpu.cfs_quota_us", "100000\n");
    put("cpuset/a/cpu.cfs_period_us", "100000\n");
    put("cpuacct/a/cpu.cfs_quota_us", "100000\n");
    put("cpuacct/a/cpu.cfs_period_us", "100000\n");
    EXPECT_EQ(limit(), 0);
    self("3:cpuset:/a\n2:cpuacct,cpu:/a\n");
    put("cpuacct,cpu/a/cpu.cfs_quota_us", "300000\n");
    put("cpuacct,cpu/a/cpu.cfs_period_us", "100000\n");
    EXPECT_EQ(limit(), 3);
}

TEST_F(CgroupTree, BrokenMembershipLinesArePassedOver) {
    self("garbage\n0:\n0::relative\n0::/../../etc\n");
    put("cpu.max", "200000 100000\n");
    EXPECT_EQ(limit(), 2);
}

}  // namespace
}  // namespace sonvola
