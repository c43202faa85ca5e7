#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace quorbel {

inline constexpr std::uint8_t kIcmpEchoReplyType = 0;
inline constexpr std::uint8_t kIcmpDestinationUnreachableType = 3;
inline constexpr std::uint8_t kIcmpEchoRequestType = 8;
inline constexpr std::uint8_t kIcmpTimeExceededType = 11;
inline constexpr std::uint8_t kIcmpParameterProblemType = 12;

inline constexpr std::size_t kIcmpHeaderSize = 8;

// The identifier and sequence number that tie a reply to its request.
struct EchoTag {
    std::uint16_t identifier = 0;
    std::uint16_t sequence = 0;
};

// Whose identifier a reply carries. On a raw socket it is ours to check. On a
// ping socket the kernel replaces it with the socket's port and hands the
// socket only replies that carry it.
enum class IdentifierCheck { Ours, KernelOwned };

// What a reply must match to belong to one echo request.
struct EchoExpectation {
    std::uint32_t target = 0;  // network order
    EchoTag tag;
    IdentifierCheck identifierCheck = IdentifierCheck::Ours;
};

enum class ReplyKind {
    Unrelated,  // someone else's traffic, damaged, or an ICMP message we do not act on
    EchoReply,  // the target answered our request
    IcmpError,  // an error report about our request: unreachable, time exceeded, parameter problem
};

struct ReplyMatch {
    ReplyKind kind = ReplyKind::Unrelated;
    std::uint8_t type = 0;
    std::uint8_t code = 0;
    std::uint32_t responder = 0;  // network order
    std::uint8_t ttl = 0;         // from the IPv4 header; 0 where the message came without one
};

// The Internet checksum (RFC 1071) of `bytes`, to be stored big-endian.
std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes);

// An echo request without payload: the 8-byte ICMP header, checksum filled in.
std::array<std::uint8_t, kIcmpHeaderSize> buildEchoRequest(EchoTag tag);

// True for the ICMP types that report a failed delivery and end the wait.
bool isDeliveryErrorType(std::uint8_t type);

// True when `original`, the first bytes of an ICMP message we sent to
// `destination`, is the echo request `expectation` describes.
bool isOurEchoRequest(std::span<const std::uint8_t> original, std::uint32_t destination,
                      const EchoExpectation& expectation);

// Classifies a packet read from a raw ICMP socket: IPv4 header, then ICMP.
ReplyMatch matchRawPacket(std::span<const std::uint8_t> packet, const EchoExpectation& expectation);

// Classifies a message read from a ping socket: the ICMP message alone,
// received from `source` (network order).
ReplyMatch matchPingMessage(std::span<const std::uint8_t> message, std::uint32_t source,
                            const EchoExpectation& expectation);

}  // namespace quorbel
