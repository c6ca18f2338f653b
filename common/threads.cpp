#include "common/threads.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdint>
#include <fstream>
#include <string_view>
#include <vector>

namespace sonvola {

namespace {

constexpr int kMaxThreads = 1024;

// The words of the first line of a file; false when it cannot be read.
bool readWords(const std::string& path, std::vector<std::string>& words) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    if (!std::getline(in, line)) return false;
    words.clear();
    size_t at = 0;
    while (at < line.size()) {
        const size_t start = line.find_first_not_of(" \t\r", at);
        if (start == std::string::npos) break;
        size_t end = line.find_first_of(" \t\r", start);
        if (end == std::string::npos) end = line.size();
        words.push_back(line.substr(start, end - start));
        at = end;
    }
    return true;
}

// A whole number (an optional minus sign, digits) filling the word.
bool parseWhole(const std::string& word, int64_t& value) {
    const char* end = word.data() + word.size();
    auto [stop, ec] = std::from_chars(word.data(), end, value);
    return ec == std::errc() && stop == end && !word.empty();
}

// The CPUs a quota of `quota` per `period` allows, rounded up; 0 for no
// limit (a quota that is not positive).
int cpusOf(int64_t quota, int64_t period) {
    if (quota <= 0 || period <= 0) return 0;
    const int64_t cpus = quota / period + (quota % period != 0 ? 1 : 0);
    return static_cast<int>(std::clamp<int64_t>(cpus, 1, INT_MAX));
}

// cgroup v2: cpu.max holds "QUOTA PERIOD", QUOTA being "max" without a limit.
int v2Limit(const std::string& dir) {
    std::vector<std::string> words;
    if (!readWords(dir + "/cpu.max", words) || words.empty() || words[0] == "max") return 0;
    int64_t quota = 0, period = 100000;
    if (!parseWhole(words[0], quota)) return 0;
    if (words.size() > 1 && !parseWhole(words[1], period)) return 0;
    return cpusOf(quota, period);
}

// cgroup v1: cpu.cfs_quota_us (-1 without a limit) and cpu.cfs_period_us.
int v1Limit(const std::string& dir) {
    std::vector<std::string> quotaWords, periodWords;
    if (!readWords(dir + "/cpu.cfs_quota_us", quotaWords) || quotaWords.empty()) return 0;
    if (!readWords(dir + "/cpu.cfs_period_us", periodWords) || periodWords.empty()) return 0;
    int64_t quota = 0, period = 0;
    if (!parseWhole(quotaWords[0], quota) || !parseWhole(periodWords[0], period)) return 0;
    return cpusOf(quota, period);
}

// The smaller of two limits, 0 standing for none.
int tighter(int a, int b) {
    if (a == 0) return b;
    if (b == 0) return a;
    return std::min(a, b);
}

// The limit of the group `path` (absolute, "/" for the root) below `base`
// and of each of its parents.
template <typename Reader>
int limitAlong(const std::string& base, std::string path, Reader&& read) {
    int limit = 0;
    for (;;) {
        while (!path.empty() && path.back() == '/') path.pop_back();
        // A path that would leave the base is not followed.
        if (path.find("/..") != std::string::npos) path.clear();
        limit = tighter(limit, read(base + path));
        if (path.empty()) return limit;
        path.erase(path.rfind('/'));
    }
}

bool namesCpuController(std::string_view controllers) {
    while (!controllers.empty()) {
        const size_t comma = controllers.find(',');
        if (controllers.substr(0, comma) == "cpu") return true;
        if (comma == std::string_view::npos) break;
        controllers.remove_prefix(comma + 1);
    }
    return false;
}

// The CPUs in this process's affinity mask.
int affinityCount() {
    for (int cpus = 1024; cpus <= (1 << 20); cpus *= 2) {
        cpu_set_t* set = CPU_ALLOC(cpus);
        if (!set) break;
        const size_t size = CPU_ALLOC_SIZE(cpus);
        CPU_ZERO_S(size, set);
        const bool ok = ::sched_getaffinity(0, size, set) == 0;
        const int err = errno;
        const int count = ok ? CPU_COUNT_S(size, set) : 0;
        CPU_FREE(set);
        if (ok) return count;
        if (err != EINVAL) break;  // EINVAL: more CPUs than the mask holds
    }
    const long online = ::sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int>(std::min<long>(online, INT_MAX)) : 1;
}

}  // namespace

int cgroupCpuLimit(const std::string& cgroupRoot, const std::string& selfCgroupPath) {
    // The root's own files count in any case: inside a container the group
    // is often mounted at the root.
    int limit = tighter(v2Limit(cgroupRoot), v1Limit(cgroupRoot + "/cpu"));
    std::ifstream self(selfCgroupPath);
    std::string line;
    while (self && std::getline(self, line)) {
        // "ID:CONTROLLERS:PATH"; the path may hold colons itself.
        const size_t first = line.find(':');
        if (first == std::string::npos) continue;
        const size_t second = line.find(':', first + 1);
        if (second == std::string::npos) continue;
        const std::string id = line.substr(0, first);
        const std::string controllers = line.substr(first + 1, second - first - 1);
        const std::string path = line.substr(second + 1);
        if (path.empty() || path[0] != '/') continue;
        if (id == "0" && controllers.empty()) {
            limit = tighter(limit, limitAlong(cgroupRoot, path, v2Limit));
        } else if (namesCpuController(controllers)) {
            limit = tighter(limit, limitAlong(cgroupRoot + "/" + controllers, path, v1Limit));
            limit = tighter(limit, limitAlong(cgroupRoot + "/cpu", path, v1Limit));
        }
    }
    return limit;
}

int availableCores() {
    int cores = std::max(1, affinityCount());
    const int limit = cgroupCpuLimit();
    if (limit > 0) cores = std::min(cores, limit);
    return std::max(1, cores);
}

int parseThreadCount(const char* text) {
    if (!text || !*text) return 0;
    std::string_view s(text);
    for (char c : s) {
        if (c < '0' || c > '9') return 0;
    }
    s.remove_prefix(std::min(s.find_first_not_of('0'), s.size()));
    if (s.empty() || s.size() > 4) return 0;  // 0, or far beyond the largest count
    int value = 0;
    for (char c : s) value = value * 10 + (c - '0');
    return value <= kMaxThreads ? value : 0;
}

int threadsFor(const char* sonvolaThreadsEnv) {
    const int asked = parseThreadCount(sonvolaThreadsEnv);
    return asked > 0 ? asked : availableCores();
}

}  // namespace sonvola
