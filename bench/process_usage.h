#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <thread>

namespace quorbel::bench {

// CPU seconds (user + system) the process has used, from /proc/<pid>/stat.
std::optional<double> processCpuSeconds(pid_t pid);
// A size line of /proc/<pid>/status, such as "VmRSS" or "VmHWM", in KiB.
std::optional<long> statusKilobytes(pid_t pid, std::string_view key);
// The process's command name, from /proc/<pid>/comm.
std::string processName(pid_t pid);

// Threads of this process right now, from /proc/self/task.
int ownThreadCount();
// CPU seconds of this whole process, finished threads included.
double ownCpuSeconds();
// CPU seconds of one running thread of this process.
double threadCpuSeconds(std::thread& thread);

}  // namespace quorbel::bench
