#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>

#include "hostdata/settings_store.h"
#include "hostdata/status.h"
#include "shutdown/event_log.h"
#include "shutdown/shutdown_backend.h"
#include "shutdown/task_runner.h"

namespace quorbel {

// The value of "shutdownType".
enum class ShutdownMode {
    Normal1 = 1,  // delayed power-off with a broadcast notice, 15 s
    Normal2 = 2,  // orderly power-off
    Force1 = 3,   // forced power-off: processes killed, file systems unmounted
    Force2 = 4,   // immediate power-off
};

// The local wall clock, for the notice of the delayed shutdown.
class WallClock {
public:
    virtual ~WallClock() = default;
    virtual std::chrono::system_clock::time_point now() const = 0;
};

class SystemWallClock : public WallClock {
public:
    std::chrono::system_clock::time_point now() const override { return std::chrono::system_clock::now(); }
};

// What shutDown() did: the method it ran (none when "shutdownType" matched
// no method) and that method's result.
struct ShutdownReport {
    std::optional<ShutdownMode> mode;
    Status status = Status::success();
};

// The notice broadcast by the delayed shutdown, with the local time `at`.
std::string shutdownNotice(std::chrono::system_clock::time_point at);
// The same for a broken-down local time.
std::string shutdownNotice(const std::tm& localTime);

// How long the delayed shutdown (method 1) waits.
inline constexpr std::chrono::seconds kDelayedShutdownDelay{15};

// Runs the operator's task, then shuts the machine down by the configured
// method. Choices are read from the settings at the moment they are needed.
class ShutdownSequence {
public:
    ShutdownSequence(const SettingsStore& settings, TaskRunner& tasks, ShutdownBackend& backend,
                     const WallClock& clock, EventLog& log);

    // Runs "path" when "run" is exactly "on" and waits for it to end.
    // Always true: a task that cannot be started is skipped (and logged).
    bool runPreShutdownTask();

    // Runs the method "shutdownType" names, if any, and reports its result.
    ShutdownReport shutDown();

private:
    const SettingsStore& settings_;
    TaskRunner& tasks_;
    ShutdownBackend& backend_;
    const WallClock& clock_;
    EventLog& log_;

    Status runMethod(ShutdownMode mode);
};

}  // namespace quorbel
