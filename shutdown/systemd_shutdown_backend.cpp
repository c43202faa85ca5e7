#include "shutdown/systemd_shutdown_backend.h"

#include <systemd/sd-bus.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <utility>

namespace quorbel {
namespace {

struct BusClose {
    void operator()(sd_bus* bus) const { ::sd_bus_flush_close_unref(bus); }
};
using BusConnection = std::unique_ptr<sd_bus, BusClose>;

struct MessageRelease {
    void operator()(sd_bus_message* message) const { ::sd_bus_message_unref(message); }
};
using BusMessage = std::unique_ptr<sd_bus_message, MessageRelease>;

// Frees the error's strings on every path.
class BusError {
public:
    BusError() = default;
    ~BusError() { ::sd_bus_error_free(&error_); }
    BusError(const BusError&) = delete;
    BusError& operator=(const BusError&) = delete;

    sd_bus_error* get() { return &error_; }
    std::string describe(int result) const {
        if (!::sd_bus_error_is_set(&error_)) return std::strerror(-result);
        std::string text = error_.name;
        if (error_.message && *error_.message) text += std::string(": ") + error_.message;
        return text;
    }

private:
    sd_bus_error error_ = SD_BUS_ERROR_NULL;
};

struct Method {
    const char* service;
    const char* path;
    const char* interface;
    const char* member;
};

constexpr const char* kLogindService = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindInterface = "org.freedesktop.login1.Manager";
constexpr Method kSetWallMessage{kLogindService, kLogindPath, kLogindInterface, "SetWallMessage"};
constexpr Method kScheduleShutdown{kLogindService, kLogindPath, kLogindInterface, "ScheduleShutdown"};
constexpr Method kLogindPowerOff{kLogindService, kLogindPath, kLogindInterface, "PowerOff"};
constexpr Method kManagerPowerOff{"org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                                  "org.freedesktop.systemd1.Manager", "PowerOff"};

// sd-bus takes D-Bus booleans as int.
constexpr int kTrue = 1;
constexpr int kFalse = 0;

std::string busFailure(const BusAddress& address, const char* step, int result) {
    const std::string where = address.isSystemBus() ? "the system bus" : "the bus at " + address.address();
    return std::string("cannot ") + step + " " + where + ": " + std::strerror(-result);
}

// Only the given address: sd_bus_new never falls back to a standard bus.
Status openExplicitBus(const BusAddress& address, BusConnection& connection) {
    if (address.address().empty()) return Status::failure("cannot connect to a bus: no address given");
    sd_bus* bus = nullptr;
    int result = ::sd_bus_new(&bus);
    if (result < 0) return Status::failure(busFailure(address, "prepare a connection to", result));
    connection.reset(bus);
    result = ::sd_bus_set_address(bus, address.address().c_str());
    if (result >= 0) result = ::sd_bus_set_bus_client(bus, 1);
    if (result >= 0) result = ::sd_bus_start(bus);
    if (result < 0) return Status::failure(busFailure(address, "connect to", result));
    return Status::success();
}

Status openSystemBus(const BusAddress& address, BusConnection& connection) {
    sd_bus* bus = nullptr;
    const int result = ::sd_bus_open_system(&bus);
    if (result < 0) return Status::failure(busFailure(address, "connect to", result));
    connection.reset(bus);
    return Status::success();
}

Status openBus(const BusAddress& address, std::chrono::microseconds callTimeout, BusConnection& connection) {
    const Status opened =
        address.isSystemBus() ? openSystemBus(address, connection) : openExplicitBus(address, connection);
    if (!opened) return opened;
    const int result = ::sd_bus_set_method_call_timeout(connection.get(), static_cast<uint64_t>(callTimeout.count()));
    if (result < 0) return Status::failure(busFailure(address, "set the call timeout on", result));
    return Status::success();
}

template <typename... Arguments>
Status callMethod(sd_bus* bus, const Method& method, const char* signature, Arguments... arguments) {
    BusError error;
    sd_bus_message* reply = nullptr;
    const int result = ::sd_bus_call_method(bus, method.service, method.path, method.interface, method.member,
                                            error.get(), &reply, signature, arguments...);
    BusMessage replyOwner(reply);
    if (result >= 0) return Status::success();
    return Status::failure(std::string(method.interface) + "." + method.member + " failed: " + error.describe(result));
}

template <typename... Arguments>
Status callOnNewConnection(const BusAddress& address, std::chrono::microseconds callTimeout, const Method& method,
                           const char* signature, Arguments... arguments) {
    BusConnection connection;
    if (Status opened = openBus(address, callTimeout, connection); !opened) return opened;
    return callMethod(connection.get(), method, signature, arguments...);
}

}  // namespace

SystemdShutdownBackend::SystemdShutdownBackend(BusAddress bus, PowerSwitch& powerSwitch,
                                               std::chrono::microseconds callTimeout)
    : bus_(std::move(bus)), powerSwitch_(powerSwitch), callTimeout_(callTimeout) {}

Status SystemdShutdownBackend::schedulePowerOff(const std::string& notice, std::chrono::system_clock::time_point when) {
    BusConnection connection;
    if (Status opened = openBus(bus_, callTimeout_, connection); !opened) return opened;
    // The power-off matters more than the notice, so it is asked for even
    // when the notice is refused; the refusal is still reported.
    const Status noticeSet = callMethod(connection.get(), kSetWallMessage, "sb", notice.c_str(), kTrue);
    const auto microseconds = std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch());
    const Status scheduled = callMethod(connection.get(), kScheduleShutdown, "st", "poweroff",
                                        static_cast<uint64_t>(microseconds.count()));
    if (!scheduled) return noticeSet ? scheduled : Status::failure(noticeSet.message() + "; " + scheduled.message());
    if (!noticeSet) return Status::failure(noticeSet.message() + "; the power-off is scheduled without the notice");
    return Status::success();
}

Status SystemdShutdownBackend::powerOff() {
    return callOnNewConnection(bus_, callTimeout_, kLogindPowerOff, "b", kFalse);
}

Status SystemdShutdownBackend::forcePowerOff() {
    return callOnNewConnection(bus_, callTimeout_, kManagerPowerOff, "");
}

Status SystemdShutdownBackend::powerOffImmediately() { return powerSwitch_.powerOff(); }

}  // namespace quorbel
