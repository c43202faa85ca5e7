// Every bus call here goes to a private dbus-daemon the test starts, with
// python-dbusmock standing in for logind and the systemd manager.

#include "shutdown/systemd_shutdown_backend.h"

#include <gtest/gtest.h>
#include <sched.h>
#include <sys/auxv.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "shutdown/shutdown_sequence.h"
#include "tests/support/private_system_bus.h"
#include "tests/support/shutdown_fakes.h"
#include "tests/support/temporary_directory.h"

namespace quorbel::testing {
// Readable call lists in failure messages.
void PrintTo(const MockCall& call, std::ostream* out) {
    *out << call.method << "(";
    for (const std::string& argument : call.arguments) *out << "\"" << argument << "\" ";
    *out << ")";
}
}  // namespace quorbel::testing

namespace quorbel {
namespace {

using namespace std::chrono_literals;
using testing::DBusMock;
using testing::MockCall;
using testing::PrivateSystemBus;
using testing::RecordingPowerSwitch;

constexpr const char* kAccessDenied = "org.freedesktop.DBus.Error.AccessDenied";
constexpr const char* kRefusal = "refused by the test";

// 22 March 2016 19:51:41.123456 UTC.
const std::chrono::system_clock::time_point kWhen{1458676301123456us};
constexpr const char* kWhenMicroseconds = "1458676301123456";
constexpr const char* kNotice = "检测到断网，15秒后将关机！--Halvix：2016年3月22日19时51分26秒";

std::vector<std::string> methodsOf(const std::vector<MockCall>& calls) {
    std::vector<std::string> result;
    for (const MockCall& call : calls) result.push_back(call.method);
    return result;
}

class SystemdShutdownBackendTest : public ::testing::Test {
protected:
    enum class Service { Logind, Systemd };

    void SetUp() override {
        bus_ = std::make_unique<PrivateSystemBus>();
        logind_ = std::make_unique<DBusMock>(*bus_, "org.freedesktop.login1", "/org/freedesktop/login1",
                                             "org.freedesktop.login1.Manager");
        systemd_ = std::make_unique<DBusMock>(*bus_, "org.freedesktop.systemd1", "/org/freedesktop/systemd1",
                                              "org.freedesktop.systemd1.Manager");
        backend_ = std::make_unique<SystemdShutdownBackend>(BusAddress::explicitAddress(bus_->address()),
                                                            powerSwitch_);
    }

    // The methods the backend uses; `refused` answers with AccessDenied.
    void addMethods(const std::string& refused = "") {
        auto code = [&](const std::string& member) {
            return member == refused ? DBusMock::raiseError(kAccessDenied, kRefusal) : std::string();
        };
        logind_->addMethod("SetWallMessage", "sb", "", code("SetWallMessage"));
        logind_->addMethod("ScheduleShutdown", "st", "", code("ScheduleShutdown"));
        logind_->addMethod("PowerOff", "b", "", code("PowerOff"));
        systemd_->addMethod("PowerOff", "", "", code("Manager.PowerOff"));
    }

    std::unique_ptr<PrivateSystemBus> bus_;
    std::unique_ptr<DBusMock> logind_;
    std::unique_ptr<DBusMock> systemd_;
    RecordingPowerSwitch powerSwitch_;
    std::unique_ptr<SystemdShutdownBackend> backend_;
};

struct MethodCase {
    const char* name;
    Status (*call)(SystemdShutdownBackend&);
    std::vector<MockCall> logindCalls;
    std::vector<MockCall> systemdCalls;
    friend void PrintTo(const MethodCase& value, std::ostream* out) { *out << value.name; }
};

Status schedule(SystemdShutdownBackend& backend) { return backend.schedulePowerOff(kNotice, kWhen); }
Status orderly(SystemdShutdownBackend& backend) { return backend.powerOff(); }
Status forced(SystemdShutdownBackend& backend) { return backend.forcePowerOff(); }

const MethodCase kMethodCases[] = {
    {"Delayed", schedule,
     {{"SetWallMessage", {kNotice, "true"}}, {"ScheduleShutdown", {"poweroff", kWhenMicroseconds}}},
     {}},
    {"Orderly", orderly, {{"PowerOff", {"false"}}}, {}},
    {"Forced", forced, {}, {{"PowerOff", {}}}},
};

class BackendMethodTest : public SystemdShutdownBackendTest, public ::testing::WithParamInterface<MethodCase> {};

TEST_P(BackendMethodTest, CallsTheServiceWithTheMethodsArguments) {
    addMethods();
    const Status status = GetParam().call(*backend_);
    EXPECT_TRUE(status.ok()) << status.message();
    EXPECT_EQ(logind_->calls(), GetParam().logindCalls);
    EXPECT_EQ(systemd_->calls(), GetParam().systemdCalls);
}

INSTANTIATE_TEST_SUITE_P(Methods, BackendMethodTest, ::testing::ValuesIn(kMethodCases),
                         [](const ::testing::TestParamInfo<MethodCase>& instance) { return instance.param.name; });

struct RefusalCase {
    const char* name;
    const char* refused;
    Status (*call)(SystemdShutdownBackend&);
    std::vector<std::string> logindMethods;  // called, refused or not
    friend void PrintTo(const RefusalCase& value, std::ostream* out) { *out << value.name; }
};

const RefusalCase kRefusalCases[] = {
    // The power-off is still scheduled without the notice.
    {"Notice", "SetWallMessage", schedule, {"SetWallMessage", "ScheduleShutdown"}},
    {"Schedule", "ScheduleShutdown", schedule, {"SetWallMessage", "ScheduleShutdown"}},
    {"Orderly", "PowerOff", orderly, {"PowerOff"}},
    {"Forced", "Manager.PowerOff", forced, {}},
};

class BackendRefusalTest : public SystemdShutdownBackendTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(BackendRefusalTest, RefusedCallIsAFailureWithTheError) {
    addMethods(GetParam().refused);
    const Status status = GetParam().call(*backend_);
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find(std::string(kAccessDenied) + ": " + kRefusal), std::string::npos)
        << status.message();
    EXPECT_EQ(methodsOf(logind_->calls()), GetParam().logindMethods);
}

INSTANTIATE_TEST_SUITE_P(Refusals, BackendRefusalTest, ::testing::ValuesIn(kRefusalCases),
                         [](const ::testing::TestParamInfo<RefusalCase>& instance) { return instance.param.name; });

// The whole method 1 with the real clock: due 15 s after the call.
TEST_F(SystemdShutdownBackendTest, DelayedShutdownThroughTheSequenceIsDueInFifteenSeconds) {
    addMethods();
    quorbel::testing::TemporaryDirectory directory;
    SettingsStore settings(directory / "config.ini");
    ASSERT_TRUE(settings.write(settings::kShutdownType, "1").ok());
    quorbel::testing::FakeTaskRunner tasks;
    SystemWallClock clock;
    quorbel::testing::RecordingEventLog log;
    ShutdownSequence sequence(settings, tasks, *backend_, clock, log);
    const auto microsecondsNow = [] {
        return std::chrono::duration_cast<std::chrono::microseconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    };

    const auto before = microsecondsNow();
    const ShutdownReport report = sequence.shutDown();
    const auto after = microsecondsNow();

    EXPECT_TRUE(report.status.ok()) << report.status.message();
    const std::vector<MockCall> calls = logind_->calls();
    ASSERT_EQ(methodsOf(calls), (std::vector<std::string>{"SetWallMessage", "ScheduleShutdown"}));
    EXPECT_EQ(calls[0].arguments[0].rfind("检测到断网，15秒后将关机！--Halvix：", 0), 0u) << calls[0].arguments[0];
    ASSERT_EQ(calls[1].arguments.size(), 2u);
    const long long due = std::stoll(calls[1].arguments[1]);
    EXPECT_GE(due, before + 15'000'000);
    EXPECT_LE(due, after + 15'000'000);
}

// Exit codes of a body run isolated from the system bus.
enum : int { kBodySucceeded = 0, kBodyFailed = 1, kIsolationFailed = 2, kUnsafe = 3 };

// Runs `body` in a child with a private mount namespace in which the
// machine's system bus socket is covered, so that not even a fault in the
// code under test can reach it. Returns the child's exit code.
template <typename Body>
int runIsolatedFromSystemBus(Body body) {
    const pid_t child = fork();
    if (child < 0) return kIsolationFailed;
    if (child == 0) {
        if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            _exit(kIsolationFailed);
        if (access("/run/dbus", F_OK) == 0 && mount("tmpfs", "/run/dbus", "tmpfs", 0, nullptr) != 0)
            _exit(kIsolationFailed);
        const bool socketHidden = access("/run/dbus/system_bus_socket", F_OK) != 0 &&
                                  access("/var/run/dbus/system_bus_socket", F_OK) != 0;
        if (!socketHidden) _exit(kUnsafe);
        _exit(body() ? kBodySucceeded : kBodyFailed);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : kUnsafe;
}

// The production choice finds the bus through DBUS_SYSTEM_BUS_ADDRESS.
TEST_F(SystemdShutdownBackendTest, SystemBusChoiceHonoursTheSystemBusAddress) {
    addMethods();
    const std::string address = bus_->address();
    const int exitCode = runIsolatedFromSystemBus([&] {
        if (getauxval(AT_SECURE) != 0) _exit(kUnsafe);  // the variable would be ignored
        if (setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1) != 0) _exit(kUnsafe);
        const char* set = getenv("DBUS_SYSTEM_BUS_ADDRESS");
        if (!set || address != set) _exit(kUnsafe);
        RecordingPowerSwitch unused;
        return SystemdShutdownBackend(BusAddress::systemBus(), unused).powerOff().ok();
    });
    if (exitCode == kIsolationFailed) GTEST_SKIP() << "cannot create a mount namespace here (needs root)";
    ASSERT_EQ(exitCode, kBodySucceeded);
    EXPECT_EQ(logind_->calls(), (std::vector<MockCall>{{"PowerOff", {"false"}}}));
}

// An empty explicit address must never fall back to the system bus.
TEST(SystemdShutdownBackendWithoutBusTest, EmptyAddressConnectsNowhere) {
    const int exitCode = runIsolatedFromSystemBus([] {
        RecordingPowerSwitch unused;
        const Status status = SystemdShutdownBackend(BusAddress::explicitAddress(""), unused).powerOff();
        return !status.ok() && status.message().find("no address") != std::string::npos;
    });
    if (exitCode == kIsolationFailed) GTEST_SKIP() << "cannot create a mount namespace here (needs root)";
    EXPECT_EQ(exitCode, kBodySucceeded);
}

TEST(SystemdShutdownBackendWithoutBusTest, UnreachableBusIsAFailure) {
    quorbel::testing::TemporaryDirectory directory;
    RecordingPowerSwitch powerSwitch;
    SystemdShutdownBackend backend(BusAddress::explicitAddress("unix:path=" + (directory / "no-bus").string()),
                                   powerSwitch);
    const Status status = backend.powerOff();
    EXPECT_FALSE(status.ok());
    EXPECT_NE(status.message().find("cannot connect"), std::string::npos) << status.message();
}

TEST(SystemdShutdownBackendWithoutBusTest, ImmediatePowerOffGoesThroughThePowerSwitch) {
    RecordingPowerSwitch powerSwitch;
    powerSwitch.setResult(Status::failure("reboot(RB_POWER_OFF) failed: Operation not permitted"));
    SystemdShutdownBackend backend(BusAddress::explicitAddress("unix:path=/nonexistent/bus"), powerSwitch);
    const Status status = backend.powerOffImmediately();
    EXPECT_EQ(powerSwitch.calls(), 1);
    EXPECT_EQ(status.message(), "reboot(RB_POWER_OFF) failed: Operation not permitted");
}

}  // namespace
}  // namespace quorbel
