#pragma once

#include "hostdata/status.h"

namespace quorbel {

// The machine's power, cut without asking any service first.
class PowerSwitch {
public:
    virtual ~PowerSwitch() = default;
    // Returns only when the power could not be cut.
    virtual Status powerOff() = 0;
};

// Flushes the file systems and calls reboot(2), raising CAP_SYS_BOOT first
// where the process is permitted to.
class RebootPowerSwitch : public PowerSwitch {
public:
    Status powerOff() override;
};

}  // namespace quorbel
