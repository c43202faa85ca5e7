#include "bench/process_usage.h"

#include <dirent.h>
#include <pthread.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace quorbel::bench {
namespace {

std::string procPath(pid_t pid, const char* file) { return "/proc/" + std::to_string(pid) + "/" + file; }

double seconds(const timeval& value) {
    return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_usec) / 1e6;
}

}  // namespace

std::optional<double> processCpuSeconds(pid_t pid) {
    std::ifstream in(procPath(pid, "stat"));
    std::string line;
    if (!std::getline(in, line)) return std::nullopt;
    // The command name may hold spaces and parentheses; the fields follow its last ')'.
    const std::size_t nameEnd = line.rfind(')');
    if (nameEnd == std::string::npos) return std::nullopt;
    std::istringstream fields(line.substr(nameEnd + 1));
    std::vector<std::string> values;
    for (std::string value; fields >> value;) values.push_back(value);
    // Fields 14 (utime) and 15 (stime); the first after the name is field 3.
    constexpr std::size_t kUserTime = 14 - 3;
    constexpr std::size_t kSystemTime = 15 - 3;
    if (values.size() <= kSystemTime) return std::nullopt;
    const double ticks = std::stod(values[kUserTime]) + std::stod(values[kSystemTime]);
    return ticks / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::optional<long> statusKilobytes(pid_t pid, std::string_view key) {
    std::ifstream in(procPath(pid, "status"));
    const std::string prefix = std::string(key) + ":";
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    }
    return std::nullopt;
}

std::string processName(pid_t pid) {
    std::ifstream in(procPath(pid, "comm"));
    std::string name;
    std::getline(in, name);
    return name;
}

int ownThreadCount() {
    DIR* directory = ::opendir("/proc/self/task");
    if (!directory) return 0;
    int count = 0;
    while (const dirent* entry = ::readdir(directory)) {
        if (entry->d_name[0] != '.') ++count;
    }
    ::closedir(directory);
    return count;
}

double ownCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

double threadCpuSeconds(std::thread& thread) {
    clockid_t clock{};
    if (::pthread_getcpuclockid(thread.native_handle(), &clock) != 0) return 0;
    timespec value{};
    ::clock_gettime(clock, &value);
    return static_cast<double>(value.tv_sec) + static_cast<double>(value.tv_nsec) / 1e9;
}

}  // namespace quorbel::bench
