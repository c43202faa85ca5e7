#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace quorbel {

// ICMP status codes of the echo reply record.
enum EchoStatus : std::uint32_t {
    EchoSuccess = 0,
    EchoDestinationNetworkUnreachable = 11002,
    EchoDestinationHostUnreachable = 11003,
    EchoDestinationProtocolUnreachable = 11004,
    EchoDestinationPortUnreachable = 11005,
    EchoTimedOut = 11010,
    EchoGeneralFailure = 11050,
};

// The reply record a probe fills, 274 bytes when packed little-endian.
struct EchoReply {
    std::uint32_t address = 0;  // replying host, network order
    std::uint32_t status = 0;
    std::uint32_t roundTripTime = 0;
    std::uint16_t dataSize = 0;
    std::uint16_t reserved = 0;
    std::array<std::uint8_t, 250> data{};
    std::uint8_t ttl = 0;
    std::uint8_t tos = 0;
    std::uint8_t flags = 0;
    std::uint8_t optionsSize = 0;
    std::uint32_t optionsData = 0;
};

// The status text shown for a reply's status code.
std::string echoStatusText(std::uint32_t status);

// One echo exchange's outcome. `elapsedMs` is -1 when no echo was sent, no
// echo reply came from the target, or the exchange took longer than the
// timeout. `localFailure` is set when this machine refused to open any ICMP
// socket: that says nothing about the host and must not count as its miss.
struct ProbeResult {
    int elapsedMs = -1;
    std::optional<std::string> localFailure;
};

// Sends one ICMP echo request and waits for the reply.
class EchoProber {
public:
    virtual ~EchoProber() = default;
    // timeoutMs 0 (or below) means 10000. `statusText` is set once an echo
    // was attempted: not when the text does not resolve, nor when no ICMP
    // socket could be opened.
    virtual ProbeResult probe(const std::string& hostText, int timeoutMs, EchoReply& reply,
                              std::string& statusText) = 0;
};

// IPv4 ICMP through the Linux socket API: an unprivileged ping socket where
// the system allows it, else a raw socket.
class SystemEchoProber : public EchoProber {
public:
    ProbeResult probe(const std::string& hostText, int timeoutMs, EchoReply& reply,
                      std::string& statusText) override;
};

// One echo with the system prober: the elapsed whole milliseconds, or -1.
int probe(const std::string& hostText, int timeoutMs, EchoReply& reply, std::string& statusText);

}  // namespace quorbel
