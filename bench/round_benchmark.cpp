#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "bench/bench_hosts.h"
#include "bench/benchmarks.h"
#include "bench/child_process.h"
#include "bench/process_usage.h"
#include "bench/statistics.h"
#include "bench/tool_output.h"
#include "hostdata/text_number.h"
#include "monitor/echo_probe.h"
#include "monitor/icmp_socket.h"
#include "monitor/probe_round.h"
#include "tests/support/network_namespace.h"

namespace quorbel::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kHostCounts[] = {10, 100, 1000};
constexpr int kMeasuredRounds = 3;
constexpr int kFpingRuns = 3;
// Loopback answers in microseconds; a probe that needs this long lost its echo.
constexpr ProbeTiming kTiming{2000, 1000};
constexpr auto kRoundLimit = 30s;

// The system prober, keeping the wall time of every call in microseconds:
// the list itself shows whole milliseconds only.
class TimedProber : public EchoProber {
public:
    ProbeResult probe(const std::string& hostText, int timeoutMs, EchoReply& reply,
                      std::string& statusText) override {
        const Clock::time_point start = Clock::now();
        ProbeResult result = system_.probe(hostText, timeoutMs, reply, statusText);
        const double microseconds = std::chrono::duration<double, std::micro>(Clock::now() - start).count();
        std::lock_guard lock(mutex_);
        callMicroseconds_.push_back(microseconds);
        return result;
    }

    std::vector<double> takeCallMicroseconds() {
        std::lock_guard lock(mutex_);
        return std::exchange(callMicroseconds_, {});
    }

private:
    SystemEchoProber system_;
    std::mutex mutex_;
    std::vector<double> callMicroseconds_;
};

// Counts this process's threads every 200 us until stopped.
class ThreadSampler {
public:
    ThreadSampler() : thread_([this] { sample(); }) {
        while (peak_.load() == 0) std::this_thread::yield();
    }
    ~ThreadSampler() { stop(); }
    ThreadSampler(const ThreadSampler&) = delete;
    ThreadSampler& operator=(const ThreadSampler&) = delete;

    int stop() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
        return peak_.load();
    }
    double cpuSeconds() { return threadCpuSeconds(thread_); }

private:
    void sample() {
        while (!done_.load()) {
            const int count = ownThreadCount();
            if (count > peak_.load()) peak_ = count;
            std::this_thread::sleep_for(200us);
        }
    }

    std::atomic<bool> done_{false};
    std::atomic<int> peak_{0};
    std::thread thread_;
};

struct RoundSample {
    double wallMs = 0;
    double cpuMs = 0;
    int peakThreads = 0;
    bool finished = false;
};

RoundSample measureRound(ProbeRound& round) {
    ThreadSampler sampler;
    const double samplerCpuBefore = sampler.cpuSeconds();
    const double cpuBefore = ownCpuSeconds();
    const Clock::time_point start = Clock::now();
    round.startRound();
    RoundSample sample;
    sample.finished = round.waitUntilIdle(kRoundLimit);
    const Clock::time_point end = Clock::now();
    const double cpuAfter = ownCpuSeconds();
    // The sampler is the bench's, not the round's.
    const double samplerCpu = sampler.cpuSeconds() - samplerCpuBefore;
    sample.peakThreads = sampler.stop();
    sample.wallMs = std::chrono::duration<double, std::milli>(end - start).count();
    sample.cpuMs = (cpuAfter - cpuBefore - samplerCpu) * 1000;
    return sample;
}

// Counts the rows answered and gathers the milliseconds they show.
int collectAnswers(const HostTable& table, std::vector<double>& shownMs) {
    int answered = 0;
    for (const IdentifiedRow& identified : table.snapshot()) {
        if (identified.row.state != RowState::Answered) continue;
        ++answered;
        shownMs.push_back(textToInteger(identified.row.cells[ResponseColumn]));
    }
    return answered;
}

std::string socketKindHere() {
    return openIcmpSocket(IcmpSocketKind::Ping).socket.valid() ? "ping" : "raw";
}

void printValue(const char* key, const std::string& value) { std::printf("%s=%s\n", key, value.c_str()); }
void printValue(const char* key, double value) { std::printf("%s=%.6f\n", key, value); }

std::map<std::string, std::string> parseValues(const std::string& output) {
    std::map<std::string, std::string> values;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t equals = line.find('=');
        if (equals != std::string::npos) values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return values;
}

double numberOf(const std::map<std::string, std::string>& values, const std::string& key) {
    const auto found = values.find(key);
    return found == values.end() ? 0 : std::strtod(found->second.c_str(), nullptr);
}

}  // namespace

int runRoundChild(int hostCount) {
    std::shared_ptr<HostTable> table = makeLoopbackTable(hostCount);
    std::vector<std::string> hosts;
    for (int index = 0; index < hostCount; ++index) hosts.push_back(loopbackAddress(index));
    auto prober = std::make_shared<TimedProber>();
    ProbeRound round(table, prober, nullptr, nullptr, nullptr, kTiming);

    // The first round also pays for loading and first-touching code and data.
    table->resetForMonitoring();
    round.startRound();
    if (!round.waitUntilIdle(kRoundLimit)) return 1;
    prober->takeCallMicroseconds();

    std::vector<double> wallMs, cpuMs, shownMs;
    int peakThreads = 0;
    int fewestAnswered = hostCount;
    for (int run = 0; run < kMeasuredRounds; ++run) {
        table->resetForMonitoring();
        const RoundSample sample = measureRound(round);
        if (!sample.finished) return 1;
        wallMs.push_back(sample.wallMs);
        cpuMs.push_back(sample.cpuMs);
        peakThreads = std::max(peakThreads, sample.peakThreads);
        fewestAnswered = std::min(fewestAnswered, collectAnswers(*table, shownMs));
    }
    const std::vector<double> callMicroseconds = prober->takeCallMicroseconds();
    const long peakKilobytes = statusKilobytes(::getpid(), "VmHWM").value_or(0);

    std::vector<std::string> fping{"fping", "-q", "-C", "1", "-t", "1000", "-i", "0"};
    fping.insert(fping.end(), hosts.begin(), hosts.end());
    std::vector<double> fpingWallMs, roundTripsMs;
    int fpingLost = 0;
    std::string fpingFailure;
    for (int run = 0; run < kFpingRuns; ++run) {
        const CompletedRun completed = runAndWait(fping);
        const ToolTimes times = parseFpingCounts(completed.output);
        if (times.milliseconds.empty()) {
            fpingFailure = completed.output.substr(0, 200);
            std::replace(fpingFailure.begin(), fpingFailure.end(), '\n', ' ');
        }
        fpingWallMs.push_back(completed.wallSeconds * 1000);
        roundTripsMs.insert(roundTripsMs.end(), times.milliseconds.begin(), times.milliseconds.end());
        fpingLost += times.lost;
    }

    printValue("sockets", socketKindHere());
    printValue("wall_ms", median(wallMs));
    printValue("cpu_ms", median(cpuMs));
    printValue("peak_threads", peakThreads);
    printValue("peak_rss_kib", static_cast<double>(peakKilobytes));
    printValue("shown_ms", median(shownMs));
    printValue("call_us", median(callMicroseconds));
    printValue("answered", std::to_string(fewestAnswered) + "/" + std::to_string(hostCount));
    printValue("fping_wall_ms", median(fpingWallMs));
    printValue("fping_rtt_us", median(roundTripsMs) * 1000);
    printValue("fping_lost", std::to_string(fpingLost) + "/" + std::to_string(hostCount * kFpingRuns));
    if (!fpingFailure.empty()) printValue("fping_failure", fpingFailure);
    return 0;
}

ReportTable runRoundBenchmark(const std::filesystem::path& benchExecutable) {
    ReportTable table;
    table.title = "Probe round over loopback hosts (127.0.x.y, in a network namespace of the bench's own)";
    table.columns = {"hosts",    "round ms",     "CPU ms",   "threads",     "peak RSS MiB", "shown ms",
                     "probe us", "fping RTT us", "fping ms", "round/fping", "answered",     "fping lost"};
    testing::NetworkNamespace space;
    if (!space.ready()) {
        table.notes.push_back("skipped: " + space.failures());
        return table;
    }
    std::string sockets;
    for (const int hostCount : kHostCounts) {
        const CompletedRun run = runAndWait({"ip", "netns", "exec", space.name(), benchExecutable.string(),
                                             "--round-child", std::to_string(hostCount)});
        const auto values = parseValues(run.output);
        if (run.exitCode != 0) {
            table.rows.push_back({std::to_string(hostCount), "failed"});
            table.notes.push_back(std::to_string(hostCount) + " hosts failed: " + run.output.substr(0, 300));
            continue;
        }
        sockets = values.count("sockets") ? values.at("sockets") : "";
        const double fpingWallMs = numberOf(values, "fping_wall_ms");
        table.rows.push_back({
            std::to_string(hostCount),
            formatNumber(numberOf(values, "wall_ms"), 2),
            formatNumber(numberOf(values, "cpu_ms"), 2),
            formatNumber(numberOf(values, "peak_threads"), 0),
            formatNumber(numberOf(values, "peak_rss_kib") / 1024, 1),
            formatNumber(numberOf(values, "shown_ms"), 0),
            formatNumber(numberOf(values, "call_us"), 0),
            formatNumber(numberOf(values, "fping_rtt_us"), 0),
            formatNumber(fpingWallMs, 2),
            fpingWallMs > 0 ? formatNumber(numberOf(values, "wall_ms") / fpingWallMs, 2) : "-",
            values.count("answered") ? values.at("answered") : "?",
            values.count("fping_lost") ? values.at("fping_lost") : "?",
        });
        if (values.count("fping_failure")) table.notes.push_back("fping said: " + values.at("fping_failure"));
    }
    const std::vector<std::string> failures = std::exchange(table.notes, {});
    table.notes = {
        "round ms: startRound() until the last worker is done; median of 3 rounds after a warm-up round",
        "CPU ms: the process's CPU time (getrusage) over the round, the bench's thread sampler taken out",
        "threads: peak of /proc/self/task during the round, the bench's main and sampler threads included",
        "peak RSS: VmHWM of the process that ran the rounds (one process per size)",
        "shown ms: median of the response column (whole ms, truncated); probe us: median wall time of one probe() call",
        "fping RTT us: median round trip fping reports, the true loopback round trip",
        "fping ms: `fping -q -C 1 -t 1000 -i 0 <hosts>` from spawn to exit (its process start included); median of 3",
        "ICMP sockets the probe used: " + (sockets.empty() ? std::string("unknown") : sockets),
    };
    table.notes.insert(table.notes.end(), failures.begin(), failures.end());
    return table;
}

}  // namespace quorbel::bench
