#pragma once

#include <chrono>
#include <string>
#include <utility>

#include "shutdown/power_switch.h"
#include "shutdown/shutdown_backend.h"

namespace quorbel {

// The D-Bus a backend talks to. Tests name a private bus explicitly, so
// nothing they do can reach the machine's own system bus.
class BusAddress {
public:
    // The system bus, as system tools find it (DBUS_SYSTEM_BUS_ADDRESS or
    // the standard socket).
    static BusAddress systemBus() { return BusAddress(Kind::SystemBus, std::string()); }
    // Only this address; an empty one connects nowhere.
    static BusAddress explicitAddress(std::string address) {
        return BusAddress(Kind::Explicit, std::move(address));
    }

    bool isSystemBus() const { return kind_ == Kind::SystemBus; }
    // Empty for the system bus.
    const std::string& address() const { return address_; }

private:
    enum class Kind { SystemBus, Explicit };
    BusAddress(Kind kind, std::string address) : kind_(kind), address_(std::move(address)) {}

    Kind kind_;
    std::string address_;
};

// Methods 1 to 3 ask logind and the systemd manager over D-Bus; method 4
// cuts the power through `powerSwitch`. Each call opens its own
// connection: a shutdown happens once, and no connection is left to go stale.
class SystemdShutdownBackend : public ShutdownBackend {
public:
    SystemdShutdownBackend(BusAddress bus, PowerSwitch& powerSwitch,
                           std::chrono::microseconds callTimeout = std::chrono::seconds(25));

    // logind SetWallMessage(notice, true), then ScheduleShutdown("poweroff", when).
    // The power-off is scheduled even when the notice is refused.
    Status schedulePowerOff(const std::string& notice, std::chrono::system_clock::time_point when) override;
    // logind PowerOff(false).
    Status powerOff() override;
    // The systemd manager's PowerOff(), as `systemctl poweroff --force`.
    Status forcePowerOff() override;
    // As `systemctl poweroff --force --force`.
    Status powerOffImmediately() override;

private:
    BusAddress bus_;
    PowerSwitch& powerSwitch_;
    std::chrono::microseconds callTimeout_;
};

}  // namespace quorbel
