// How many threads a stage runs on: the cores this process may use, or the
// number the user asks for in SONVOLA_THREADS.
#pragma once

#include <string>

namespace sonvola {

// The CPUs this process may run on (its affinity mask), limited by the CPU
// quota of its control group where one is set; at least 1.
int availableCores();

// The whole CPUs a control-group quota allows (quota / period, rounded up,
// at least 1), or 0 when no quota is set. Reads cgroup v2's cpu.max and
// cgroup v1's cpu.cfs_quota_us and cpu.cfs_period_us in the groups that
// `selfCgroupPath` (the format of /proc/self/cgroup) names below
// `cgroupRoot`, and in their parent groups up to the root; the smallest
// limit found applies. Groups that are not there are passed over, so a
// container that sees only its own group reads that group's files at the
// root.
int cgroupCpuLimit(const std::string& cgroupRoot = "/sys/fs/cgroup",
                   const std::string& selfCgroupPath = "/proc/self/cgroup");

// The value of SONVOLA_THREADS: a whole number from 1 to 1024 (digits only,
// nothing around them); 0 for anything else, a null pointer included.
int parseThreadCount(const char* text);

// The number of threads to run on: `sonvolaThreadsEnv` (the value of
// SONVOLA_THREADS, or null) when it is a whole number from 1 to 1024, else
// availableCores().
int threadsFor(const char* sonvolaThreadsEnv);

}  // namespace sonvola
