#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "monitor/icmp_socket.h"
#include "tests/support/network_namespace.h"

namespace quorbel::testing {

// The echo reply owed for one echo request, and where it goes.
struct EchoAnswer {
    std::uint32_t requester = 0;      // network order: the reply's destination
    std::uint32_t answeredAs = 0;     // network order: the address the request was sent to
    std::vector<std::uint8_t> reply;  // ICMP message: same identifier, sequence and payload
};

// The answer to an IPv4 packet (as a raw ICMP socket reads it) carrying an
// intact ICMP echo request to a unicast address; nothing for anything else.
std::optional<EchoAnswer> answerForEchoRequest(std::span<const std::uint8_t> packet);

// Answers ICMP echo requests sent to a network namespace after a fixed delay,
// standing in for a slow host. The namespace's kernel must stay silent
// (net.ipv4.icmp_echo_ignore_all=1) or the host answers twice.
//
// It works only from a thread of its own that entered the namespace, and
// refuses to start anywhere else, so it never answers on this machine's own
// network. Requests that arrive while others wait are queued, not blocked.
class DelayedEchoResponder {
public:
    DelayedEchoResponder(const NetworkNamespace& space, std::chrono::milliseconds delay);
    ~DelayedEchoResponder();
    DelayedEchoResponder(const DelayedEchoResponder&) = delete;
    DelayedEchoResponder& operator=(const DelayedEchoResponder&) = delete;

    // Empty once it started answering; otherwise why it could not start.
    const std::string& failure() const { return failure_; }
    bool started() const { return failure_.empty(); }
    int answeredCount() const { return answered_.load(); }

    // Drops replies still waiting and returns once nothing more is sent.
    void stop();

private:
    void serve(const NetworkNamespace& space, std::promise<std::string> started);
    std::string prepareInside(const NetworkNamespace& space);
    void answerUntilStopped();

    std::chrono::milliseconds delay_;
    FileDescriptor stopSignal_;
    FileDescriptor socket_;
    std::atomic<int> answered_{0};
    std::string failure_;
    std::thread thread_;
};

}  // namespace quorbel::testing
