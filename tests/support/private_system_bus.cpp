#include "tests/support/private_system_bus.h"

#include "tests/support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>
#include <utility>

extern char** environ;

namespace quorbel::testing {
namespace {

using namespace std::chrono_literals;

constexpr auto kStartTimeout = 20s;
constexpr auto kStopTimeout = 5s;
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kDaemon = "/usr/bin/dbus-daemon";

std::runtime_error failure(const std::string& what, int error) {
    return std::runtime_error(what + ": " + std::strerror(error));
}

// This process's environment with every bus address pointing at `address`,
// so a child that looks for either standard bus finds only the private one.
std::vector<std::string> environmentFor(const std::string& address) {
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("DBUS_", 0) == 0) continue;
        result.push_back(text);
    }
    result.push_back("DBUS_SYSTEM_BUS_ADDRESS=" + address);
    result.push_back("DBUS_SESSION_BUS_ADDRESS=" + address);
    return result;
}

std::vector<char*> pointersTo(std::vector<std::string>& texts) {
    std::vector<char*> result;
    for (std::string& text : texts) result.push_back(text.data());
    result.push_back(nullptr);
    return result;
}

struct BusClose {
    void operator()(sd_bus* bus) const { ::sd_bus_flush_close_unref(bus); }
};
using BusConnection = std::unique_ptr<sd_bus, BusClose>;

struct MessageRelease {
    void operator()(sd_bus_message* message) const { ::sd_bus_message_unref(message); }
};
using BusMessage = std::unique_ptr<sd_bus_message, MessageRelease>;

BusConnection connectTo(const std::string& address) {
    sd_bus* bus = nullptr;
    if (const int result = ::sd_bus_new(&bus); result < 0) throw failure("sd_bus_new", -result);
    BusConnection connection(bus);
    int result = ::sd_bus_set_address(bus, address.c_str());
    if (result >= 0) result = ::sd_bus_set_bus_client(bus, 1);
    if (result >= 0) result = ::sd_bus_start(bus);
    if (result < 0) throw failure("cannot connect to the private bus " + address, -result);
    return connection;
}

// Calls a method and returns its reply; throws with the D-Bus error.
template <typename... Arguments>
BusMessage call(sd_bus* bus, const char* service, const char* path, const char* interface, const char* member,
                const char* signature, Arguments... arguments) {
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    const int result =
        ::sd_bus_call_method(bus, service, path, interface, member, &error, &reply, signature, arguments...);
    BusMessage owner(reply);
    if (result < 0) {
        std::string text = std::string(interface) + "." + member + ": ";
        text += ::sd_bus_error_is_set(&error) ? std::string(error.name) + " " + (error.message ? error.message : "")
                                              : std::strerror(-result);
        ::sd_bus_error_free(&error);
        throw std::runtime_error(text);
    }
    return owner;
}

void check(int result, const char* what) {
    if (result < 0) throw failure(std::string("cannot read the mock's call log: ") + what, -result);
}

template <typename Number>
std::string readNumber(sd_bus_message* message, char type) {
    Number value{};
    check(::sd_bus_message_read_basic(message, type, &value), "number");
    return std::to_string(value);
}

// The value in the variant just entered, as text.
std::string readValue(sd_bus_message* message, const char* contents) {
    const std::string signature = contents;
    if (signature.size() != 1) {
        check(::sd_bus_message_skip(message, contents), "compound value");
        return "<" + signature + ">";
    }
    const char type = signature[0];
    switch (type) {
        case 's':
        case 'o':
        case 'g': {
            const char* text = nullptr;
            check(::sd_bus_message_read_basic(message, type, &text), "text");
            return text;
        }
        case 'b': {
            int value = 0;
            check(::sd_bus_message_read_basic(message, type, &value), "boolean");
            return value ? "true" : "false";
        }
        case 'y': return readNumber<uint8_t>(message, type);
        case 'n': return readNumber<int16_t>(message, type);
        case 'q': return readNumber<uint16_t>(message, type);
        case 'i': return readNumber<int32_t>(message, type);
        case 'u': return readNumber<uint32_t>(message, type);
        case 'x': return readNumber<int64_t>(message, type);
        case 't': return readNumber<uint64_t>(message, type);
        case 'd': return readNumber<double>(message, type);
        default:
            check(::sd_bus_message_skip(message, contents), "value");
            return "<" + signature + ">";
    }
}

MockCall readCall(sd_bus_message* message) {
    MockCall result;
    uint64_t timestamp = 0;
    const char* method = nullptr;
    check(::sd_bus_message_read(message, "ts", &timestamp, &method), "call");
    result.method = method;
    check(::sd_bus_message_enter_container(message, 'a', "v"), "arguments");
    for (;;) {
        char type = 0;
        const char* contents = nullptr;
        const int more = ::sd_bus_message_peek_type(message, &type, &contents);
        check(more, "argument type");
        if (more == 0) break;
        check(::sd_bus_message_enter_container(message, 'v', contents), "argument");
        result.arguments.push_back(readValue(message, contents));
        check(::sd_bus_message_exit_container(message), "argument");
    }
    check(::sd_bus_message_exit_container(message), "arguments");
    return result;
}

std::string readLine(int fd, std::chrono::milliseconds timeout) {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (line.find('\n') == std::string::npos) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left <= 0ms) throw std::runtime_error("dbus-daemon did not print its address in time");
        pollfd entry{fd, POLLIN, 0};
        const int ready = ::poll(&entry, 1, static_cast<int>(left.count()));
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) throw failure("poll", errno);
        if (ready == 0) continue;
        char buffer[256];
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) throw std::runtime_error("dbus-daemon ended before printing its address");
        line.append(buffer, static_cast<size_t>(got));
    }
    return line.substr(0, line.find('\n'));
}

class Pipe {
public:
    Pipe() {
        if (::pipe2(fds_, O_CLOEXEC) != 0) throw failure("pipe2", errno);
    }
    ~Pipe() {
        closeWriteEnd();
        ::close(fds_[0]);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;
    int readEnd() const { return fds_[0]; }
    int writeEnd() const { return fds_[1]; }
    void closeWriteEnd() {
        if (fds_[1] >= 0) ::close(fds_[1]);
        fds_[1] = -1;
    }

private:
    int fds_[2] = {-1, -1};
};

std::string busConfiguration(const std::filesystem::path& socket) {
    // No <servicedir>: nothing is ever activated on this bus.
    return R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=)" +
           socket.string() + R"(</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";
}

}  // namespace

class BusProcess {
public:
    BusProcess(std::vector<std::string> arguments, std::vector<std::string> environment, int stdoutFd,
               const std::string& stderrPath) {
        posix_spawn_file_actions_t actions;
        if (const int error = ::posix_spawn_file_actions_init(&actions)) throw failure("posix_spawn", error);
        int error = 0;
        if (stdoutFd >= 0) error = ::posix_spawn_file_actions_adddup2(&actions, stdoutFd, STDOUT_FILENO);
        if (!error && !stderrPath.empty())
            error = ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, stderrPath.c_str(),
                                                       O_WRONLY | O_CREAT | O_TRUNC, 0600);
        // Without a pipe for it, stdout joins the log rather than the test's output.
        if (!error && stdoutFd < 0 && !stderrPath.empty())
            error = ::posix_spawn_file_actions_adddup2(&actions, STDERR_FILENO, STDOUT_FILENO);
        if (!error) error = ::posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        const std::vector<char*> argumentPointers = pointersTo(arguments);
        const std::vector<char*> environmentPointers = pointersTo(environment);
        if (!error)
            error = ::posix_spawn(&pid_, arguments[0].c_str(), &actions, nullptr, argumentPointers.data(),
                                  environmentPointers.data());
        ::posix_spawn_file_actions_destroy(&actions);
        if (error) throw failure("cannot start " + arguments[0], error);
    }
    ~BusProcess() { stop(); }
    BusProcess(const BusProcess&) = delete;
    BusProcess& operator=(const BusProcess&) = delete;

    bool hasEnded() { return reapIfEnded(pid_); }

private:
    void stop() { stopChild(pid_, kStopTimeout); }

    pid_t pid_ = -1;
};

PrivateSystemBus::PrivateSystemBus() {
    const std::filesystem::path configuration = directory_ / "bus.conf";
    writeFileBytes(configuration, busConfiguration(directory_ / "bus"));
    Pipe output;
    daemon_ = std::make_unique<BusProcess>(
        std::vector<std::string>{kDaemon, "--config-file=" + configuration.string(), "--nofork", "--print-address=1"},
        environmentFor("unix:path=" + (directory_ / "bus").string()), output.writeEnd(),
        (directory_ / "dbus-daemon.log").string());
    output.closeWriteEnd();
    address_ = readLine(output.readEnd(), kStartTimeout);
}

PrivateSystemBus::~PrivateSystemBus() = default;

DBusMock::DBusMock(const PrivateSystemBus& bus, std::string service, std::string objectPath, std::string interface)
    : bus_(bus), service_(std::move(service)), objectPath_(std::move(objectPath)), interface_(std::move(interface)) {
    const std::string log = (bus.directory() / (service_ + ".log")).string();
    process_ = std::make_unique<BusProcess>(
        std::vector<std::string>{kPython, "-m", "dbusmock", "--session", service_, objectPath_, interface_},
        environmentFor(bus.address()), -1, log);
    const BusConnection connection = connectTo(bus.address());
    const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
    for (;;) {
        BusMessage reply = call(connection.get(), "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                "org.freedesktop.DBus", "NameHasOwner", "s", service_.c_str());
        int owned = 0;
        check(::sd_bus_message_read(reply.get(), "b", &owned), "NameHasOwner");
        if (owned) return;
        if (process_->hasEnded())
            throw std::runtime_error("the mock of " + service_ + " ended: " + readFileBytes(log));
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("the mock of " + service_ + " did not start in time: " + readFileBytes(log));
        std::this_thread::sleep_for(20ms);
    }
}

DBusMock::~DBusMock() = default;

void DBusMock::addMethod(const std::string& member, const std::string& inSignature, const std::string& outSignature,
                         const std::string& pythonCode) {
    const BusConnection connection = connectTo(bus_.address());
    call(connection.get(), service_.c_str(), objectPath_.c_str(), "org.freedesktop.DBus.Mock", "AddMethod", "sssss",
         interface_.c_str(), member.c_str(), inSignature.c_str(), outSignature.c_str(), pythonCode.c_str());
}

std::vector<MockCall> DBusMock::calls() const {
    const BusConnection connection = connectTo(bus_.address());
    BusMessage reply =
        call(connection.get(), service_.c_str(), objectPath_.c_str(), "org.freedesktop.DBus.Mock", "GetCalls", "");
    std::vector<MockCall> result;
    check(::sd_bus_message_enter_container(reply.get(), 'a', "(tsav)"), "list");
    for (;;) {
        const int more = ::sd_bus_message_enter_container(reply.get(), 'r', "tsav");
        check(more, "entry");
        if (more == 0) break;
        result.push_back(readCall(reply.get()));
        check(::sd_bus_message_exit_container(reply.get()), "entry");
    }
    check(::sd_bus_message_exit_container(reply.get()), "list");
    return result;
}

std::string DBusMock::raiseError(const std::string& errorName, const std::string& message) {
    return "raise dbus.exceptions.DBusException('" + message + "', name='" + errorName + "')";
}

}  // namespace quorbel::testing
