#pragma once

// Recording stand-ins for the shutdown sequence's collaborators. Every
// fake may be called from several threads at once.

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "hostdata/status.h"
#include "shutdown/event_log.h"
#include "shutdown/power_switch.h"
#include "shutdown/shutdown_backend.h"
#include "shutdown/shutdown_sequence.h"
#include "shutdown/task_runner.h"

namespace quorbel::testing {

class RecordingShutdownBackend : public ShutdownBackend {
public:
    enum class Call { SchedulePowerOff, PowerOff, ForcePowerOff, PowerOffImmediately };
    struct Record {
        Call call;
        std::string notice;                          // SchedulePowerOff only
        std::chrono::system_clock::time_point when;  // SchedulePowerOff only
    };

    // What every later call returns.
    void setResult(Status result) {
        std::lock_guard lock(mutex_);
        result_ = std::move(result);
    }
    // Runs inside each call, before it is recorded, e.g. to check what had
    // happened by then or to hold the caller.
    void setOnCall(std::function<void(Call)> onCall) {
        std::lock_guard lock(mutex_);
        onCall_ = std::move(onCall);
    }
    std::vector<Record> records() const {
        std::lock_guard lock(mutex_);
        return records_;
    }
    std::vector<Call> calls() const {
        std::vector<Call> result;
        for (const Record& record : records()) result.push_back(record.call);
        return result;
    }

    Status schedulePowerOff(const std::string& notice, std::chrono::system_clock::time_point when) override {
        return record({Call::SchedulePowerOff, notice, when});
    }
    Status powerOff() override { return record({Call::PowerOff, {}, {}}); }
    Status forcePowerOff() override { return record({Call::ForcePowerOff, {}, {}}); }
    Status powerOffImmediately() override { return record({Call::PowerOffImmediately, {}, {}}); }

private:
    Status record(Record entry) {
        std::function<void(Call)> onCall;
        {
            std::lock_guard lock(mutex_);
            onCall = onCall_;
        }
        if (onCall) onCall(entry.call);
        std::lock_guard lock(mutex_);
        records_.push_back(std::move(entry));
        return result_;
    }

    mutable std::mutex mutex_;
    Status result_ = Status::success();
    std::function<void(Call)> onCall_;
    std::vector<Record> records_;
};

class FakeTaskRunner : public TaskRunner {
public:
    void setResult(TaskResult result) {
        std::lock_guard lock(mutex_);
        result_ = result;
    }
    // Runs inside each call, before it returns, e.g. to hold the caller.
    void setOnRun(std::function<void(const std::string&)> onRun) {
        std::lock_guard lock(mutex_);
        onRun_ = std::move(onRun);
    }
    std::vector<std::string> commandLines() const {
        std::lock_guard lock(mutex_);
        return commandLines_;
    }

    TaskResult runAndWait(const std::string& commandLine) override {
        std::function<void(const std::string&)> onRun;
        {
            std::lock_guard lock(mutex_);
            commandLines_.push_back(commandLine);
            onRun = onRun_;
        }
        if (onRun) onRun(commandLine);
        std::lock_guard lock(mutex_);
        return result_;
    }

private:
    mutable std::mutex mutex_;
    TaskResult result_{TaskResult::Kind::Exited, 0};
    std::function<void(const std::string&)> onRun_;
    std::vector<std::string> commandLines_;
};

class RecordingEventLog : public EventLog {
public:
    enum class Level { Info, Error };
    struct Entry {
        Level level;
        std::string message;
    };

    std::vector<Entry> entries() const {
        std::lock_guard lock(mutex_);
        return entries_;
    }
    // Whether some entry of `level` contains `text`.
    bool contains(Level level, const std::string& text) const {
        std::lock_guard lock(mutex_);
        for (const Entry& entry : entries_)
            if (entry.level == level && entry.message.find(text) != std::string::npos) return true;
        return false;
    }

    void info(const std::string& message) override { add(Level::Info, message); }
    void error(const std::string& message) override { add(Level::Error, message); }

private:
    void add(Level level, const std::string& message) {
        std::lock_guard lock(mutex_);
        entries_.push_back({level, message});
    }

    mutable std::mutex mutex_;
    std::vector<Entry> entries_;
};

class FixedWallClock : public WallClock {
public:
    explicit FixedWallClock(std::chrono::system_clock::time_point now = {}) : now_(now) {}
    void set(std::chrono::system_clock::time_point now) {
        std::lock_guard lock(mutex_);
        now_ = now;
    }
    std::chrono::system_clock::time_point now() const override {
        std::lock_guard lock(mutex_);
        return now_;
    }

private:
    mutable std::mutex mutex_;
    std::chrono::system_clock::time_point now_;
};

class RecordingPowerSwitch : public PowerSwitch {
public:
    void setResult(Status result) {
        std::lock_guard lock(mutex_);
        result_ = std::move(result);
    }
    int calls() const {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    Status powerOff() override {
        std::lock_guard lock(mutex_);
        ++calls_;
        return result_;
    }

private:
    mutable std::mutex mutex_;
    Status result_ = Status::failure("power switch fake");
    int calls_ = 0;
};

}  // namespace quorbel::testing
