#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

#include "hostdata/host_table.h"
#include "monitor/echo_probe.h"
#include "monitor/monitor_events.h"

namespace quorbel {

struct ProbeTiming {
    int timeoutMs = 0;            // 0 means the probe's own 10000 ms
    int answeredBelowMs = 1000;   // a slower echo counts as missed
};

// Closed once by the trigger: after that no timed round starts. Refresh
// rounds the operator asks for still run.
class TimedRoundGate {
public:
    void close() { closed_.store(true); }
    bool closed() const { return closed_.load(); }

private:
    std::atomic<bool> closed_{false};
};

// Starts one detached worker thread per host; each probes its host and
// records the outcome in the table. Workers share ownership of everything
// they touch, so nothing is freed under them when the round's owner goes.
class ProbeRound {
public:
    // Called on the worker's thread after a miss was recorded, with the
    // row's identity and the number of the round the worker belongs to.
    using MissHandler = std::function<void(RowId row, std::uint64_t round)>;

    ProbeRound(std::shared_ptr<HostTable> table, std::shared_ptr<EchoProber> prober, MissHandler onMiss,
               std::shared_ptr<MonitorEvents> events, std::shared_ptr<TimedRoundGate> gate,
               ProbeTiming timing = {});

    // Probes every row now (the refresh button). Returns the workers started.
    int startRound();
    // A timer's round: starts nothing once the gate is closed.
    int startTimedRound();

    // Waits until no worker runs, or the timeout passes; true when idle.
    bool waitUntilIdle(std::chrono::milliseconds timeout) const;
    int runningWorkers() const;

private:
    struct Shared;
    static void probeRow(std::shared_ptr<Shared> shared, RowId id, std::uint64_t round);

    std::shared_ptr<Shared> shared_;
};

}  // namespace quorbel
