#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "monitor/monitor_events.h"

namespace quorbel::testing {

// Keeps what the monitor reported, for tests to read.
class RecordingMonitorEvents : public MonitorEvents {
public:
    void probingImpossible(const std::string& reason) override {
        std::lock_guard lock(mutex_);
        impossibleReasons_.push_back(reason);
    }
    void probingRestored() override {
        std::lock_guard lock(mutex_);
        ++restored_;
    }
    void triggerFired(const FireReport& report) override {
        std::lock_guard lock(mutex_);
        fires_.push_back(report);
    }
    void shutdownFinished(const ShutdownReport& report) override {
        std::lock_guard lock(mutex_);
        shutdowns_.push_back(report);
    }

    std::vector<std::string> impossibleReasons() const {
        std::lock_guard lock(mutex_);
        return impossibleReasons_;
    }
    int restored() const {
        std::lock_guard lock(mutex_);
        return restored_;
    }
    std::vector<FireReport> fires() const {
        std::lock_guard lock(mutex_);
        return fires_;
    }
    std::vector<ShutdownReport> shutdowns() const {
        std::lock_guard lock(mutex_);
        return shutdowns_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> impossibleReasons_;
    int restored_ = 0;
    std::vector<FireReport> fires_;
    std::vector<ShutdownReport> shutdowns_;
};

}  // namespace quorbel::testing
