#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bench/benchmarks.h"
#include "bench/child_process.h"
#include "bench/statistics.h"
#include "bench/tool_output.h"
#include "monitor/echo_probe.h"
#include "tests/support/delayed_echo_responder.h"
#include "tests/support/network_namespace.h"

namespace quorbel::bench {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr auto kReplyDelay = 20ms;
constexpr int kProbes = 30;
// The spacing `ping -i 0.2` and `fping -p 200` use, so all three see the same load.
constexpr auto kSpacing = 200ms;
constexpr int kProbeTimeoutMs = 2000;

std::vector<std::string> timesRow(const std::string& name, const std::vector<double>& milliseconds, int lost,
                                  int decimals) {
    if (milliseconds.empty()) return {name, "-", "-", "-", std::to_string(lost)};
    return {name, formatNumber(median(milliseconds), decimals), formatNumber(minimum(milliseconds), decimals),
            formatNumber(maximum(milliseconds), decimals), std::to_string(lost)};
}

struct OwnProbes {
    std::vector<double> shownMs;  // what the list would show
    std::vector<double> callMs;   // wall time of the probe() call
    int lost = 0;
};

// Probes from a thread inside the client namespace only.
OwnProbes probeFromClient(const testing::NetworkNamespace& client) {
    OwnProbes probes;
    client.runInside([&] {
        SystemEchoProber prober;
        for (int count = 0; count < kProbes; ++count) {
            EchoReply reply{};
            std::string statusText;
            const Clock::time_point start = Clock::now();
            const ProbeResult result =
                prober.probe(testing::VethNetwork::kServerAddress, kProbeTimeoutMs, reply, statusText);
            probes.callMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
            if (result.elapsedMs < 0) {
                ++probes.lost;
            } else {
                probes.shownMs.push_back(result.elapsedMs);
            }
            std::this_thread::sleep_for(kSpacing);
        }
    });
    return probes;
}

}  // namespace

ReportTable runTimingAccuracyBenchmark() {
    ReportTable table;
    table.title = "Timing accuracy: a host that answers after 20 ms (veth pair between two namespaces)";
    table.columns = {"tool", "median ms", "best ms", "worst ms", "lost"};
    testing::VethNetwork network;
    if (!network.ready() || !network.silenceServer()) {
        table.notes.push_back("skipped: " + network.failures());
        return table;
    }
    testing::DelayedEchoResponder responder(network.server(), kReplyDelay);
    if (!responder.started()) {
        table.notes.push_back("skipped: " + responder.failure());
        return table;
    }
    const std::string& client = network.client().name();
    const std::string server = testing::VethNetwork::kServerAddress;

    const OwnProbes own = probeFromClient(network.client());
    const CompletedRun ping =
        runAndWait({"ip", "netns", "exec", client, "ping", "-n", "-c", std::to_string(kProbes), "-i", "0.2", server});
    const CompletedRun fping =
        runAndWait({"ip", "netns", "exec", client, "fping", "-q", "-C", std::to_string(kProbes), "-p", "200", server});
    const ToolTimes pingTimes = parsePingTimes(ping.output);
    const ToolTimes fpingTimes = parseFpingCounts(fping.output);
    responder.stop();

    table.rows.push_back(timesRow("quorbel probe, as shown", own.shownMs, own.lost, 0));
    table.rows.push_back(timesRow("quorbel probe() call", own.callMs, own.lost, 2));
    table.rows.push_back(timesRow("ping -c 30 -i 0.2", pingTimes.milliseconds, pingTimes.lost, 2));
    table.rows.push_back(timesRow("fping -C 30 -p 200", fpingTimes.milliseconds, fpingTimes.lost, 2));
    table.notes.push_back("30 echoes each, one every 200 ms, from the client namespace; the server's kernel is silent "
                          "and the bench's responder answers " + std::to_string(responder.answeredCount()) +
                          " requests, each 20 ms after it read it");
    table.notes.push_back("as shown: the whole milliseconds the list shows (truncated); call: wall time around "
                          "probe(), socket set-up included");
    if (pingTimes.milliseconds.empty()) table.notes.push_back("ping said: " + ping.output.substr(0, 300));
    if (fpingTimes.milliseconds.empty()) table.notes.push_back("fping said: " + fping.output.substr(0, 300));
    return table;
}

}  // namespace quorbel::bench
