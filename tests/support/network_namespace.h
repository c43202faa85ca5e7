#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quorbel::testing {

struct ProgramRun {
    int exitCode = -1;   // -1 when the program could not be started or did not exit normally
    std::string output;  // standard output and error together
};

// Runs a program found on PATH, without a shell, and waits for it.
ProgramRun runProgram(const std::vector<std::string>& arguments);

// A network namespace of the test's own, with its loopback up. Everything in
// it (interfaces, routes, settings) goes with it when the object goes.
class NetworkNamespace {
public:
    NetworkNamespace();
    ~NetworkNamespace();
    NetworkNamespace(const NetworkNamespace&) = delete;
    NetworkNamespace& operator=(const NetworkNamespace&) = delete;

    const std::string& name() const { return name_; }
    // False when creating it or bringing its loopback up failed; see failures().
    bool ready() const { return failures_.empty(); }
    const std::string& failures() const { return failures_; }

    // Runs `ip -n <name> <arguments...>`; a failure is recorded in failures().
    bool ip(const std::vector<std::string>& arguments);
    // Sets a sysctl of this namespace, e.g. "net.ipv4.ping_group_range" = "1 0".
    bool setSysctl(const std::string& key, const std::string& value);

    // Runs `work` on a new thread that has entered this namespace, and waits
    // for it. `work` never runs outside the namespace: returns false, without
    // running it, when the thread cannot enter.
    bool runInside(const std::function<void()>& work) const;
    // Enters this namespace on the calling thread, for good; for a forked child.
    bool enterOnThisThread() const;

private:
    bool record(const std::vector<std::string>& arguments, const ProgramRun& run);

    std::string name_;
    bool created_ = false;
    std::string failures_;
};

// Two namespaces joined by a veth pair: a client at 10.200.0.1/30 and a
// server at 10.200.0.2/30, both interfaces up. Nothing touches the host's
// own network.
class VethNetwork {
public:
    static constexpr const char* kClientAddress = "10.200.0.1";
    static constexpr const char* kServerAddress = "10.200.0.2";
    static constexpr const char* kClientInterface = "veth-client";
    static constexpr const char* kServerInterface = "veth-server";

    // Why namespaces cannot be built here (not root, no `ip`, no veth
    // support), or nothing when they can. Checked once per process.
    static std::optional<std::string> unavailableReason();

    VethNetwork();

    bool ready() const;
    std::string failures() const;
    NetworkNamespace& client() { return *client_; }
    NetworkNamespace& server() { return *server_; }

    // Makes the server drop every echo request: up, reachable, and silent.
    bool silenceServer();
    // Takes the server's end of the link down: the client's end loses carrier.
    bool cutLinkAtServer();
    // Takes the client's end down: its route to the server vanishes.
    bool cutLinkAtClient();

private:
    std::unique_ptr<NetworkNamespace> client_;
    std::unique_ptr<NetworkNamespace> server_;
    bool linked_ = false;
};

}  // namespace quorbel::testing
