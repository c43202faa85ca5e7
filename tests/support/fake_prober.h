#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>

#include "monitor/echo_probe.h"

namespace quorbel::testing {

// A prober whose answers the test sets per address. Unknown addresses
// time out. Probes to a held address wait until the test releases it.
class FakeProber : public EchoProber {
public:
    void setResult(const std::string& address, ProbeResult result) {
        std::lock_guard lock(mutex_);
        results_[address] = std::move(result);
    }
    void answer(const std::string& address, int elapsedMs) { setResult(address, ProbeResult{elapsedMs, {}}); }
    void hold(const std::string& address) {
        std::lock_guard lock(mutex_);
        held_[address] = true;
    }
    void release(const std::string& address) {
        {
            std::lock_guard lock(mutex_);
            held_[address] = false;
        }
        changed_.notify_all();
    }
    int probesOf(const std::string& address) const {
        std::lock_guard lock(mutex_);
        const auto found = probes_.find(address);
        return found == probes_.end() ? 0 : found->second;
    }
    // Blocks until `count` probes of `address` have started.
    void waitForProbes(const std::string& address, int count) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return probes_[address] >= count; });
    }

    ProbeResult probe(const std::string& hostText, int, EchoReply&, std::string& statusText) override {
        std::unique_lock lock(mutex_);
        ++probes_[hostText];
        changed_.notify_all();
        changed_.wait(lock, [&] { return !held_[hostText]; });
        const auto found = results_.find(hostText);
        ProbeResult result = found == results_.end() ? ProbeResult{-1, {}} : found->second;
        if (!result.localFailure) statusText = result.elapsedMs >= 0 ? "成功" : "请求超时";
        return result;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, ProbeResult> results_;
    std::map<std::string, bool> held_;
    std::map<std::string, int> probes_;
};

}  // namespace quorbel::testing
