#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "hostdata/host_table.h"
#include "hostdata/settings_store.h"
#include "monitor/monitor_events.h"
#include "shutdown/event_log.h"
#include "shutdown/shutdown_sequence.h"

namespace quorbel {

// Stops the timer's rounds. The main window implements it; it must take
// effect at once, so that no timed round starts after it returns.
class TimedRounds {
public:
    virtual ~TimedRounds() = default;
    virtual void stopTimedRounds() = 0;
};

// Decides after every miss whether the rule in the settings is met, and if
// so stops the timed rounds and runs the shutdown sequence on the calling
// worker's thread. One sequence runs at a time per program run.
class Trigger {
public:
    Trigger(std::shared_ptr<HostTable> table, std::shared_ptr<const SettingsStore> settings,
            std::shared_ptr<ShutdownSequence> sequence, std::shared_ptr<TimedRounds> timedRounds,
            std::shared_ptr<EventLog> log, std::shared_ptr<MonitorEvents> events);

    // The check after a miss of `row`, recorded by a worker of round `round`.
    void checkTrigger(RowId row, std::uint64_t round);
    // True when every host has reached the failure limit.
    bool allHostsReached() const;

private:
    void fire(RowId row, std::uint64_t round, const std::string& rule, int limit);
    bool claimSequence(std::uint64_t round);
    void releaseSequence();

    std::shared_ptr<HostTable> table_;
    std::shared_ptr<const SettingsStore> settings_;
    std::shared_ptr<ShutdownSequence> sequence_;
    std::shared_ptr<TimedRounds> timedRounds_;
    std::shared_ptr<EventLog> log_;
    std::shared_ptr<MonitorEvents> events_;

    std::mutex sequenceMutex_;
    bool sequenceRunning_ = false;
    // Workers of the round that fired the last sequence (or earlier) cannot
    // run it again once it ended; a later round may.
    std::uint64_t lastFiredRound_ = 0;
    bool anySequenceRan_ = false;
};

}  // namespace quorbel
