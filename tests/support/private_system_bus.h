#pragma once

#include <memory>
#include <string>
#include <vector>

#include "tests/support/temporary_directory.h"

namespace quorbel::testing {

// The daemon or a mock: a child of the test, stopped and reaped with its owner.
class BusProcess;

// A dbus-daemon of the test's own, standing in for the system bus. It has
// no services but the mocks a test starts on it, and it never activates
// one. Clients reach it only through address(); nothing here looks at
// the machine's system bus.
class PrivateSystemBus {
public:
    // Throws std::runtime_error when the daemon does not start.
    PrivateSystemBus();
    ~PrivateSystemBus();
    PrivateSystemBus(const PrivateSystemBus&) = delete;
    PrivateSystemBus& operator=(const PrivateSystemBus&) = delete;

    const std::string& address() const { return address_; }
    const std::filesystem::path& directory() const { return directory_.path(); }

private:
    TemporaryDirectory directory_;
    std::unique_ptr<BusProcess> daemon_;
    std::string address_;
};

// One call a mock received; arguments as text: strings as they are,
// booleans "true" or "false", numbers in decimal.
struct MockCall {
    std::string method;
    std::vector<std::string> arguments;
    friend bool operator==(const MockCall&, const MockCall&) = default;
};

// A python-dbusmock object owning `service` on a private bus, with no
// methods until addMethod().
class DBusMock {
public:
    // Returns once `service` is owned on the bus; throws when it is not
    // within a few seconds.
    DBusMock(const PrivateSystemBus& bus, std::string service, std::string objectPath, std::string interface);
    ~DBusMock();
    DBusMock(const DBusMock&) = delete;
    DBusMock& operator=(const DBusMock&) = delete;

    // Adds `member` to the mock's interface; `pythonCode` runs on every call
    // (with `args` the call's arguments), e.g. to raise an error.
    void addMethod(const std::string& member, const std::string& inSignature, const std::string& outSignature,
                   const std::string& pythonCode = "");
    // Every call received so far, oldest first.
    std::vector<MockCall> calls() const;

    // Python that makes a method fail with `errorName`.
    static std::string raiseError(const std::string& errorName, const std::string& message);

private:
    const PrivateSystemBus& bus_;
    std::string service_;
    std::string objectPath_;
    std::string interface_;
    std::unique_ptr<BusProcess> process_;
};

}  // namespace quorbel::testing
