#include "monitor/probe_round.h"

#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "hostdata/text_number.h"

namespace quorbel {

struct ProbeRound::Shared {
    std::shared_ptr<HostTable> table;
    std::shared_ptr<EchoProber> prober;
    MissHandler onMiss;
    std::shared_ptr<MonitorEvents> events;
    std::shared_ptr<TimedRoundGate> gate;
    ProbeTiming timing;

    std::atomic<std::uint64_t> lastRound{0};
    std::atomic<bool> probingImpossible{false};

    mutable std::mutex workersMutex;
    mutable std::condition_variable workersIdle;
    int workers = 0;
};

namespace {

// Writes one probe's outcome into its row as a single step under the
// table's lock. False when the row was deleted meanwhile.
bool recordOutcome(HostTable& table, RowId id, bool answered, int elapsedMs) {
    return table.updateRow(id, [&](HostRow& row) {
        if (answered) {
            row.cells[ResponseColumn] = integerToText(elapsedMs) + "ms";
            row.state = RowState::Answered;
            return;
        }
        row.cells[ResponseColumn] = "-";
        row.cells[FailureCountColumn] = integerToText(std::int64_t{textToInteger(row.cells[FailureCountColumn])} + 1);
        row.state = RowState::Missed;
    });
}

}  // namespace

ProbeRound::ProbeRound(std::shared_ptr<HostTable> table, std::shared_ptr<EchoProber> prober, MissHandler onMiss,
                       std::shared_ptr<MonitorEvents> events, std::shared_ptr<TimedRoundGate> gate,
                       ProbeTiming timing)
    : shared_(std::make_shared<Shared>()) {
    shared_->table = std::move(table);
    shared_->prober = std::move(prober);
    shared_->onMiss = std::move(onMiss);
    shared_->events = std::move(events);
    shared_->gate = std::move(gate);
    shared_->timing = timing;
}

int ProbeRound::startTimedRound() {
    if (shared_->gate && shared_->gate->closed()) return 0;
    return startRound();
}

int ProbeRound::startRound() {
    const std::uint64_t round = ++shared_->lastRound;
    std::vector<IdentifiedRow> rows = shared_->table->snapshot();
    int started = 0;
    for (const IdentifiedRow& row : rows) {
        {
            std::lock_guard lock(shared_->workersMutex);
            ++shared_->workers;
        }
        try {
            std::thread(&ProbeRound::probeRow, shared_, row.id, round).detach();
            ++started;
        } catch (const std::system_error& error) {
            {
                std::lock_guard lock(shared_->workersMutex);
                --shared_->workers;
            }
            shared_->workersIdle.notify_all();
            shared_->probingImpossible = true;
            if (shared_->events)
                shared_->events->probingImpossible(std::string("cannot start a probe thread: ") + error.what());
        }
    }
    return started;
}

bool ProbeRound::waitUntilIdle(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(shared_->workersMutex);
    return shared_->workersIdle.wait_for(lock, timeout, [this] { return shared_->workers == 0; });
}

int ProbeRound::runningWorkers() const {
    std::lock_guard lock(shared_->workersMutex);
    return shared_->workers;
}

void ProbeRound::probeRow(std::shared_ptr<Shared> shared, RowId id, std::uint64_t round) {
    // Marks the worker finished on every path, after its last use of `shared`.
    struct FinishedGuard {
        ProbeRound::Shared& shared;
        ~FinishedGuard() {
            {
                std::lock_guard lock(shared.workersMutex);
                --shared.workers;
            }
            shared.workersIdle.notify_all();
        }
    } finished{*shared};

    const std::optional<HostRow> row = shared->table->row(id);
    if (!row) return;  // deleted before its worker ran

    EchoReply reply{};
    std::string statusText;
    const ProbeResult result =
        shared->prober->probe(row->cells[AddressColumn], shared->timing.timeoutMs, reply, statusText);

    if (result.localFailure) {
        // This machine cannot probe; the host's silence is unknown, so its
        // count stays as it is and the trigger is not asked.
        shared->probingImpossible = true;
        if (shared->events) shared->events->probingImpossible(*result.localFailure);
        return;
    }
    if (shared->probingImpossible.exchange(false) && shared->events) shared->events->probingRestored();

    const bool answered = result.elapsedMs != -1 && result.elapsedMs < shared->timing.answeredBelowMs;
    const bool recorded = recordOutcome(*shared->table, id, answered, result.elapsedMs);
    if (!answered && recorded && shared->onMiss) shared->onMiss(id, round);
}

}  // namespace quorbel
