#pragma once

#include <chrono>
#include <string>

#include "hostdata/status.h"

namespace quorbel {

// The system's ways of shutting down, one per method. Each returns whether
// the system accepted the request, with the reason when it did not.
class ShutdownBackend {
public:
    virtual ~ShutdownBackend() = default;
    // Broadcasts `notice` and powers off at `when`, unless an administrator cancels it.
    virtual Status schedulePowerOff(const std::string& notice, std::chrono::system_clock::time_point when) = 0;
    // Orderly power-off; inhibitor locks are honoured as the system applies them.
    virtual Status powerOff() = 0;
    // Processes are killed rather than stopped unit by unit; file systems are unmounted.
    virtual Status forcePowerOff() = 0;
    // Syncs and powers off at once.
    virtual Status powerOffImmediately() = 0;
};

}  // namespace quorbel
