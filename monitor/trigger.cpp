#include "monitor/trigger.h"

#include <optional>
#include <string_view>
#include <string>
#include <utility>

#include "hostdata/text_number.h"

namespace quorbel {
namespace {

constexpr std::string_view kAnyHost = "any";
constexpr std::string_view kAllHosts = "all";

}  // namespace

Trigger::Trigger(std::shared_ptr<HostTable> table, std::shared_ptr<const SettingsStore> settings,
                 std::shared_ptr<ShutdownSequence> sequence, std::shared_ptr<TimedRounds> timedRounds,
                 std::shared_ptr<EventLog> log, std::shared_ptr<MonitorEvents> events)
    : table_(std::move(table)),
      settings_(std::move(settings)),
      sequence_(std::move(sequence)),
      timedRounds_(std::move(timedRounds)),
      log_(std::move(log)),
      events_(std::move(events)) {}

void Trigger::checkTrigger(RowId row, std::uint64_t round) {
    if (settings_->read(settings::kShutdownBy, settings::kShutdownByDefault) == kAnyHost) {
        const std::optional<HostRow> cells = table_->row(row);
        const int failures = cells ? textToInteger(cells->cells[FailureCountColumn]) : 0;
        const int limit = textToInteger(settings_->read(settings::kCount, settings::kCountDefault));
        if (failures >= limit) fire(row, round, std::string(kAnyHost), limit);
    }
    if (settings_->read(settings::kShutdownBy, settings::kShutdownByDefault) == kAllHosts && allHostsReached()) {
        const int limit = textToInteger(settings_->read(settings::kCount, settings::kCountDefault));
        fire(row, round, std::string(kAllHosts), limit);
    }
}

bool Trigger::allHostsReached() const {
    // One consistent view of the rows: a row deleted or added meanwhile
    // cannot make a partial count look complete.
    const std::vector<IdentifiedRow> rows = table_->snapshot();
    // No host left to watch is no sign of a failure.
    if (rows.empty()) return false;
    const int limit = textToInteger(settings_->read(settings::kCount, settings::kCountDefault));
    for (const IdentifiedRow& entry : rows)
        if (textToInteger(entry.row.cells[FailureCountColumn]) < limit) return false;
    return true;
}

void Trigger::fire(RowId row, std::uint64_t round, const std::string& rule, int limit) {
    FireReport report;
    if (const std::optional<HostRow> cells = table_->row(row)) {
        report.hostName = cells->cells[NameColumn];
        report.address = cells->cells[AddressColumn];
        report.failureCount = textToInteger(cells->cells[FailureCountColumn]);
    }
    report.rule = rule;
    report.limit = limit;

    if (timedRounds_) timedRounds_->stopTimedRounds();

    const std::string what = "host \"" + report.hostName + "\" (" + report.address + ") missed " +
                             std::to_string(report.failureCount) + " time(s); rule \"" + rule + "\", limit " +
                             std::to_string(limit);
    if (!claimSequence(round)) {
        log_->info("Trigger met again, " + what + "; a shutdown sequence already ran for this round or is running");
        return;
    }
    log_->info("Trigger fired: " + what + "; timed rounds stopped");
    if (events_) events_->triggerFired(report);

    sequence_->runPreShutdownTask();
    const ShutdownReport result = sequence_->shutDown();
    if (events_) events_->shutdownFinished(result);
    releaseSequence();
}

bool Trigger::claimSequence(std::uint64_t round) {
    std::lock_guard lock(sequenceMutex_);
    if (sequenceRunning_) return false;
    if (anySequenceRan_ && round <= lastFiredRound_) return false;
    sequenceRunning_ = true;
    anySequenceRan_ = true;
    lastFiredRound_ = round;
    return true;
}

void Trigger::releaseSequence() {
    std::lock_guard lock(sequenceMutex_);
    sequenceRunning_ = false;
}

}  // namespace quorbel
