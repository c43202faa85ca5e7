#include "monitor/icmp_packet.h"

#include <algorithm>
#include <cstring>

namespace quorbel {
namespace {

constexpr std::size_t kMinimumIpv4HeaderSize = 20;
constexpr std::uint8_t kIcmpProtocol = 1;

std::uint16_t readBigEndian16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

// Addresses stay in network order: the bytes are copied, not reinterpreted.
std::uint32_t readAddress(std::span<const std::uint8_t> bytes, std::size_t offset) {
    std::uint32_t address = 0;
    std::memcpy(&address, bytes.data() + offset, sizeof address);
    return address;
}

struct Ipv4Packet {
    std::uint8_t ttl = 0;
    std::uint32_t source = 0;
    std::uint32_t destination = 0;
    std::span<const std::uint8_t> payload;
};

// Splits an IPv4 packet carrying ICMP into header fields and payload. An
// embedded packet (inside an ICMP error) may be cut short by its sender, so
// only the header must be whole.
bool parseIcmpOverIpv4(std::span<const std::uint8_t> packet, Ipv4Packet& parsed) {
    if (packet.size() < kMinimumIpv4HeaderSize) return false;
    if ((packet[0] >> 4) != 4) return false;
    const std::size_t headerSize = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
    if (headerSize < kMinimumIpv4HeaderSize || packet.size() < headerSize) return false;
    if (packet[9] != kIcmpProtocol) return false;
    const std::size_t totalLength = readBigEndian16(packet, 2);
    const std::size_t end = totalLength >= headerSize ? std::min(packet.size(), totalLength) : packet.size();
    parsed.ttl = packet[8];
    parsed.source = readAddress(packet, 12);
    parsed.destination = readAddress(packet, 16);
    parsed.payload = packet.subspan(headerSize, end - headerSize);
    return true;
}

bool tagMatches(std::span<const std::uint8_t> icmp, const EchoExpectation& expectation) {
    if (readBigEndian16(icmp, 6) != expectation.tag.sequence) return false;
    return expectation.identifierCheck == IdentifierCheck::KernelOwned ||
           readBigEndian16(icmp, 4) == expectation.tag.identifier;
}

bool isOurEchoReply(std::span<const std::uint8_t> icmp, std::uint32_t source,
                    const EchoExpectation& expectation) {
    return icmp.size() >= kIcmpHeaderSize && icmp[0] == kIcmpEchoReplyType && icmp[1] == 0 &&
           source == expectation.target && tagMatches(icmp, expectation);
}

// An error report names our request by quoting its IPv4 header and first
// eight bytes after the ICMP error header.
bool quotesOurRequest(std::span<const std::uint8_t> icmp, const EchoExpectation& expectation) {
    if (icmp.size() < kIcmpHeaderSize) return false;
    Ipv4Packet quoted;
    if (!parseIcmpOverIpv4(icmp.subspan(kIcmpHeaderSize), quoted)) return false;
    return isOurEchoRequest(quoted.payload, quoted.destination, expectation);
}

}  // namespace

std::uint16_t internetChecksum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    std::size_t index = 0;
    for (; index + 1 < bytes.size(); index += 2) sum += readBigEndian16(bytes, index);
    if (index < bytes.size()) sum += static_cast<std::uint32_t>(bytes[index]) << 8;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

std::array<std::uint8_t, kIcmpHeaderSize> buildEchoRequest(EchoTag tag) {
    std::array<std::uint8_t, kIcmpHeaderSize> request{
        kIcmpEchoRequestType,
        0,
        0,
        0,
        static_cast<std::uint8_t>(tag.identifier >> 8),
        static_cast<std::uint8_t>(tag.identifier & 0xFF),
        static_cast<std::uint8_t>(tag.sequence >> 8),
        static_cast<std::uint8_t>(tag.sequence & 0xFF),
    };
    const std::uint16_t checksum = internetChecksum(request);
    request[2] = static_cast<std::uint8_t>(checksum >> 8);
    request[3] = static_cast<std::uint8_t>(checksum & 0xFF);
    return request;
}

bool isDeliveryErrorType(std::uint8_t type) {
    return type == kIcmpDestinationUnreachableType || type == kIcmpTimeExceededType ||
           type == kIcmpParameterProblemType;
}

bool isOurEchoRequest(std::span<const std::uint8_t> original, std::uint32_t destination,
                      const EchoExpectation& expectation) {
    return original.size() >= kIcmpHeaderSize && original[0] == kIcmpEchoRequestType && original[1] == 0 &&
           destination == expectation.target && tagMatches(original, expectation);
}

ReplyMatch matchRawPacket(std::span<const std::uint8_t> packet, const EchoExpectation& expectation) {
    Ipv4Packet received;
    if (!parseIcmpOverIpv4(packet, received)) return {};
    const std::span<const std::uint8_t> icmp = received.payload;
    // Raw sockets see packets before the kernel's own checksum check.
    if (icmp.size() < kIcmpHeaderSize || internetChecksum(icmp) != 0) return {};
    const bool ours = isOurEchoReply(icmp, received.source, expectation) ||
                      (isDeliveryErrorType(icmp[0]) && quotesOurRequest(icmp, expectation));
    if (!ours) return {};
    const ReplyKind kind = icmp[0] == kIcmpEchoReplyType ? ReplyKind::EchoReply : ReplyKind::IcmpError;
    return ReplyMatch{kind, icmp[0], icmp[1], received.source, received.ttl};
}

ReplyMatch matchPingMessage(std::span<const std::uint8_t> message, std::uint32_t source,
                            const EchoExpectation& expectation) {
    if (!isOurEchoReply(message, source, expectation)) return {};
    return ReplyMatch{ReplyKind::EchoReply, message[0], message[1], source, 0};
}

}  // namespace quorbel
