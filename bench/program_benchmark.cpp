#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_hosts.h"
#include "bench/benchmarks.h"
#include "bench/child_process.h"
#include "bench/process_usage.h"
#include "bench/statistics.h"
#include "hostdata/host_list_file.h"
#include "tests/support/network_namespace.h"
#include "tests/support/temporary_directory.h"

namespace quorbel::bench {
namespace {

using namespace std::chrono_literals;

constexpr int kStartupRuns = 5;
constexpr auto kStartupLimit = 10s;
constexpr auto kSettleTime = 2s;
constexpr auto kIdleTime = 60s;
constexpr int kIdleHosts = 10;

// No rule is "none", so the trigger never fires; no method is 9, so even a
// fired trigger could not shut down.
constexpr const char* kHarmlessSettings =
    "[config]\n"
    "shutdownBy=none\n"
    "count=1000000\n"
    "shutdownType=9\n"
    "run=off\n"
    "path=\n";

// The program keeps its files beside its executable, so every run gets a
// directory with its own copy of the program, its host list and its settings.
class ProgramDirectory {
public:
    ProgramDirectory(const std::filesystem::path& program, int hostCount) {
        program_ = directory_ / "quorbel";
        std::filesystem::copy_file(program, program_);
        const std::string hostList = encodeHostList(makeLoopbackTable(hostCount)->snapshot());
        std::ofstream(directory_ / "db.kdb", std::ios::binary) << hostList;
        std::ofstream(directory_ / "config.ini", std::ios::binary) << kHarmlessSettings;
    }

    const std::filesystem::path& program() const { return program_; }
    std::filesystem::path operator/(const std::string& name) const { return directory_ / name; }

private:
    testing::TemporaryDirectory directory_;
    std::filesystem::path program_;
};

// Offscreen, with the normal 15 s period, and with both D-Bus buses pointed
// at sockets that do not exist: whatever happens, no shutdown request can
// reach the real system.
std::vector<std::string> programEnvironment() {
    return environmentWith(
        {
            "QT_QPA_PLATFORM=offscreen",
            "QUORBEL_TEST_STATE_TRACE=1",
            "DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent/quorbel-bench/system_bus_socket",
            "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/quorbel-bench/session_bus_socket",
        },
        {"QUORBEL_TEST_PERIOD_MS", "QUORBEL_TEST_TIMEOUT_MS"});
}

// Seconds to the first line of the state trace, printed once the main window
// is built and its list filled, just before it is shown.
std::optional<double> timeStartup(const ProgramDirectory& directory) {
    RunningProgram program({directory.program().string()}, programEnvironment(), OutputDestination::Pipe);
    if (!program.started()) return std::nullopt;
    const std::optional<double> seconds = program.secondsToFirstLine(kStartupLimit);
    program.stop();
    return seconds;
}

// Answered rows the state trace reported: "row <index> 0|...".
int answeredRowUpdates(const std::filesystem::path& trace) {
    std::ifstream in(trace);
    int count = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string word, index, state;
        fields >> word >> index >> state;
        if (word == "row" && state.rfind("0|", 0) == 0) ++count;
    }
    return count;
}

double mebibytes(std::optional<long> kilobytes) { return kilobytes ? static_cast<double>(*kilobytes) / 1024 : 0; }

}  // namespace

ReportTable runStartupBenchmark(const std::filesystem::path& program) {
    ReportTable table;
    table.title = "Start-up of the real program to its first window (offscreen)";
    table.columns = {"hosts in db.kdb", "median ms", "best ms", "worst ms"};
    for (const int hostCount : {10, 10000}) {
        const ProgramDirectory directory(program, hostCount);
        timeStartup(directory);  // warms the page cache and the font cache
        std::vector<double> milliseconds;
        for (int run = 0; run < kStartupRuns; ++run) {
            if (const auto seconds = timeStartup(directory)) milliseconds.push_back(*seconds * 1000);
        }
        if (milliseconds.empty()) {
            table.rows.push_back({std::to_string(hostCount), "failed"});
            continue;
        }
        table.rows.push_back({std::to_string(hostCount), formatNumber(median(milliseconds), 1),
                              formatNumber(minimum(milliseconds), 1), formatNumber(maximum(milliseconds), 1)});
    }
    table.notes.push_back("from the spawn to the first line of QUORBEL_TEST_STATE_TRACE, which the program prints once "
                          "its main window is built and the list filled, right before it shows the window; "
                          "median of " + std::to_string(kStartupRuns) + " runs after a warm-up run");
    table.notes.push_back("loopback hosts only; each run is killed at that line, long before the first 15 s round");
    return table;
}

ReportTable runIdleCostBenchmark(const std::filesystem::path& program) {
    ReportTable table;
    table.title = "Idle cost of the real program: 10 loopback hosts, 15 s period, 60 s";
    table.columns = {"measure", "value"};
    const ProgramDirectory directory(program, kIdleHosts);
    testing::NetworkNamespace space;
    if (!space.ready()) {
        table.notes.push_back("skipped: " + space.failures());
        return table;
    }
    // `ip netns exec` execs the program in place, so the child's id stays the program's.
    RunningProgram running({"ip", "netns", "exec", space.name(), directory.program().string()}, programEnvironment(),
                           OutputDestination::File, directory / "trace.log");
    std::this_thread::sleep_for(kSettleTime);
    if (!running.running() || processName(running.pid()) != "quorbel") {
        table.notes.push_back("the program did not start or was not exec'd in place (process name \"" +
                              processName(running.pid()) + "\")");
        return table;
    }
    const std::optional<double> startupCpu = processCpuSeconds(running.pid());
    std::this_thread::sleep_for(kIdleTime);
    const std::optional<double> endCpu = processCpuSeconds(running.pid());
    const std::optional<long> residentKilobytes = statusKilobytes(running.pid(), "VmRSS");
    const std::optional<long> peakKilobytes = statusKilobytes(running.pid(), "VmHWM");
    const bool stillRunning = running.running();
    running.stop();
    if (!startupCpu || !endCpu || !stillRunning) {
        table.notes.push_back("the program ended early; see its trace in a rerun");
        return table;
    }

    const double idleCpu = *endCpu - *startupCpu;
    table.rows.push_back({"CPU s over the 60 s after start-up", formatNumber(idleCpu, 2)});
    table.rows.push_back({"CPU share of one core", formatNumber(idleCpu / 60 * 100, 3) + " %"});
    table.rows.push_back({"CPU s for start-up (first 2 s)", formatNumber(*startupCpu, 2)});
    table.rows.push_back({"VmRSS MiB at the end", formatNumber(mebibytes(residentKilobytes), 1)});
    table.rows.push_back({"VmHWM MiB (peak)", formatNumber(mebibytes(peakKilobytes), 1)});
    table.rows.push_back({"rounds seen (answered rows / 10)",
                          formatNumber(answeredRowUpdates(directory / "trace.log") / double(kIdleHosts), 1)});
    table.notes.push_back("CPU from /proc/<pid>/stat utime+stime (10 ms ticks); run in a network namespace of its own "
                          "(loopback only) with shutdownBy=none and shutdownType=9");
    return table;
}

}  // namespace quorbel::bench
