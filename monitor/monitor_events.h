#pragma once

#include <string>

#include "shutdown/shutdown_sequence.h"

namespace quorbel {

// Why the trigger fired: the host whose miss met the rule, and the rule.
struct FireReport {
    std::string hostName;
    std::string address;
    int failureCount = 0;
    std::string rule;  // "any" or "all"
    int limit = 0;
};

// What the monitor tells the operator's view. Called on probe worker
// threads; an implementation hands the news over to its own thread.
class MonitorEvents {
public:
    virtual ~MonitorEvents() = default;
    // This machine cannot send probes at all (no ICMP socket, no thread):
    // no host's count changes until that is mended.
    virtual void probingImpossible(const std::string& reason) = 0;
    // A probe could be sent again after probing was impossible.
    virtual void probingRestored() = 0;
    virtual void triggerFired(const FireReport& report) = 0;
    virtual void shutdownFinished(const ShutdownReport& report) = 0;
};

}  // namespace quorbel
