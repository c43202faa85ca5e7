#include "shutdown/power_switch.h"

#include <sys/capability.h>
#include <sys/reboot.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

namespace quorbel {
namespace {

struct CapabilitiesFree {
    void operator()(cap_t capabilities) const { ::cap_free(capabilities); }
};
using Capabilities = std::unique_ptr<std::remove_pointer_t<cap_t>, CapabilitiesFree>;

std::string errorText(int error) { return std::strerror(error); }

// A process started by root has CAP_SYS_BOOT effective already; one given
// the capability through file capabilities or ambient sets may hold it
// only as permitted, and reboot(2) looks at the effective set.
Status raiseBootCapability() {
    Capabilities capabilities(::cap_get_proc());
    if (!capabilities) return Status::failure("cannot read the process capabilities: " + errorText(errno));
    cap_flag_value_t permitted = CAP_CLEAR;
    if (::cap_get_flag(capabilities.get(), CAP_SYS_BOOT, CAP_PERMITTED, &permitted) != 0)
        return Status::failure("cannot read CAP_SYS_BOOT: " + errorText(errno));
    if (permitted != CAP_SET) return Status::failure("CAP_SYS_BOOT is not permitted");
    const cap_value_t wanted[] = {CAP_SYS_BOOT};
    if (::cap_set_flag(capabilities.get(), CAP_EFFECTIVE, 1, wanted, CAP_SET) != 0 ||
        ::cap_set_proc(capabilities.get()) != 0)
        return Status::failure("cannot raise CAP_SYS_BOOT: " + errorText(errno));
    return Status::success();
}

}  // namespace

Status RebootPowerSwitch::powerOff() {
    // Without the capability reboot(2) fails with EPERM, which says enough;
    // the reason is kept to explain it.
    const Status capability = raiseBootCapability();
    ::sync();
    ::reboot(RB_POWER_OFF);
    const int error = errno;
    std::string message = "reboot(RB_POWER_OFF) failed: " + errorText(error);
    if (!capability.ok()) message += " (" + capability.message() + ")";
    return Status::failure(message);
}

}  // namespace quorbel
