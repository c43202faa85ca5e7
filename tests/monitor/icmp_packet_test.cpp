#include "monitor/icmp_packet.h"

#include <arpa/inet.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace quorbel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Network order, as the matchers take addresses. Literals only.
std::uint32_t address(const char* text) {
    in_addr parsed{};
    ::inet_pton(AF_INET, text, &parsed);
    return parsed.s_addr;
}

void putAddress(Bytes& bytes, std::size_t offset, const char* text) {
    const std::uint32_t value = address(text);
    const auto* raw = reinterpret_cast<const std::uint8_t*>(&value);
    std::copy(raw, raw + 4, bytes.begin() + static_cast<std::ptrdiff_t>(offset));
}

void putChecksum(Bytes& icmp) {
    icmp[2] = icmp[3] = 0;
    const std::uint16_t checksum = internetChecksum(icmp);
    icmp[2] = static_cast<std::uint8_t>(checksum >> 8);
    icmp[3] = static_cast<std::uint8_t>(checksum);
}

Bytes icmpMessage(std::uint8_t type, std::uint8_t code, std::uint16_t identifier, std::uint16_t sequence,
                  const Bytes& body = {}) {
    Bytes icmp{type,
               code,
               0,
               0,
               static_cast<std::uint8_t>(identifier >> 8),
               static_cast<std::uint8_t>(identifier),
               static_cast<std::uint8_t>(sequence >> 8),
               static_cast<std::uint8_t>(sequence)};
    icmp.insert(icmp.end(), body.begin(), body.end());
    putChecksum(icmp);
    return icmp;
}

// An ICMP error header (unused word zero) quoting `quoted`.
Bytes icmpError(std::uint8_t type, std::uint8_t code, const Bytes& quoted) {
    return icmpMessage(type, code, 0, 0, quoted);
}

Bytes ipv4Packet(const char* source, const char* destination, const Bytes& payload, std::uint8_t ttl = 57,
                 std::uint8_t protocol = 1, std::size_t optionWords = 0) {
    const std::size_t headerSize = 20 + optionWords * 4;
    Bytes packet(headerSize, 0);
    packet[0] = static_cast<std::uint8_t>(0x40 | (headerSize / 4));
    const std::size_t total = headerSize + payload.size();
    packet[2] = static_cast<std::uint8_t>(total >> 8);
    packet[3] = static_cast<std::uint8_t>(total);
    packet[8] = ttl;
    packet[9] = protocol;
    putAddress(packet, 12, source);
    putAddress(packet, 16, destination);
    packet.insert(packet.end(), payload.begin(), payload.end());
    return packet;
}

constexpr const char* kTarget = "192.0.2.10";
constexpr const char* kRouter = "198.51.100.1";
constexpr const char* kSelf = "203.0.113.5";
constexpr std::uint16_t kIdentifier = 0x4A21;
constexpr std::uint16_t kSequence = 0x0107;

EchoExpectation expectation(IdentifierCheck check = IdentifierCheck::Ours) {
    return EchoExpectation{address(kTarget), EchoTag{kIdentifier, kSequence}, check};
}

Bytes ourRequestQuoted(std::uint16_t identifier = kIdentifier, const char* destination = kTarget) {
    return ipv4Packet(kSelf, destination, icmpMessage(kIcmpEchoRequestType, 0, identifier, kSequence), 64);
}

TEST(InternetChecksumTest, FollowsRfc1071) {
    struct Case {
        Bytes bytes;
        std::uint16_t expected;
    };
    const Case cases[] = {
        {{}, 0xFFFF},
        {{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}, 0x220D},  // the RFC's own example
        {{0x01}, 0xFEFF},                                            // odd length pads with zero
        {{0xFF, 0xFF, 0x00, 0x01}, 0xFFFE},                          // carry wraps around
        {{0x08, 0x00, 0xE5, 0xCA, 0x12, 0x34, 0x00, 0x01}, 0x0000},  // a message with its checksum verifies
    };
    for (const Case& testCase : cases) {
        EXPECT_EQ(internetChecksum(testCase.bytes), testCase.expected) << ::testing::PrintToString(testCase.bytes);
    }
}

TEST(BuildEchoRequestTest, IsAHeaderWithoutPayload) {
    const auto request = buildEchoRequest(EchoTag{0x1234, 0x0001});
    EXPECT_EQ(Bytes(request.begin(), request.end()), (Bytes{0x08, 0x00, 0xE5, 0xCA, 0x12, 0x34, 0x00, 0x01}));
}

struct RawCase {
    const char* name;
    Bytes packet;
    ReplyKind kind;
    const char* responder = nullptr;
};

class MatchRawPacketTest : public ::testing::TestWithParam<RawCase> {};

TEST_P(MatchRawPacketTest, AcceptsOnlyReportsAboutOurRequest) {
    const RawCase& testCase = GetParam();
    const ReplyMatch match = matchRawPacket(testCase.packet, expectation());
    EXPECT_EQ(match.kind, testCase.kind);
    if (testCase.responder) {
        EXPECT_EQ(match.responder, address(testCase.responder));
        EXPECT_EQ(match.ttl, 57);
    }
}

Bytes withByte(Bytes bytes, std::size_t index, std::uint8_t value) {
    bytes.at(index) = value;
    return bytes;
}

Bytes cutTo(Bytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

const Bytes kOurReply = ipv4Packet(kTarget, kSelf, icmpMessage(kIcmpEchoReplyType, 0, kIdentifier, kSequence));

INSTANTIATE_TEST_SUITE_P(
    Cases, MatchRawPacketTest,
    ::testing::Values(
        RawCase{"OurReply", kOurReply, ReplyKind::EchoReply, kTarget},
        RawCase{"OurReplyAfterIpOptions",
                ipv4Packet(kTarget, kSelf, icmpMessage(kIcmpEchoReplyType, 0, kIdentifier, kSequence), 57, 1, 2),
                ReplyKind::EchoReply, kTarget},
        RawCase{"ReplyWithPayload",
                ipv4Packet(kTarget, kSelf, icmpMessage(kIcmpEchoReplyType, 0, kIdentifier, kSequence, {1, 2, 3})),
                ReplyKind::EchoReply, kTarget},
        RawCase{"OtherIdentifier",
                ipv4Packet(kTarget, kSelf, icmpMessage(kIcmpEchoReplyType, 0, kIdentifier + 1, kSequence)),
                ReplyKind::Unrelated},
        RawCase{"OtherSequence",
                ipv4Packet(kTarget, kSelf, icmpMessage(kIcmpEchoReplyType, 0, kIdentifier, kSequence + 1)),
                ReplyKind::Unrelated},
        RawCase{"FromAnotherHost",
                ipv4Packet(kRouter, kSelf, icmpMessage(kIcmpEchoReplyType, 0, kIdentifier, kSequence)),
                ReplyKind::Unrelated},
        RawCase{"RequestFromTarget",
                ipv4Packet(kTarget, kSelf, icmpMessage(kIcmpEchoRequestType, 0, kIdentifier, kSequence)),
                ReplyKind::Unrelated},
        RawCase{"BadChecksum", withByte(kOurReply, 22, 0x00), ReplyKind::Unrelated},
        RawCase{"NotIcmp",
                ipv4Packet(kTarget, kSelf, icmpMessage(kIcmpEchoReplyType, 0, kIdentifier, kSequence), 57, 17),
                ReplyKind::Unrelated},
        RawCase{"NotIpv4", withByte(kOurReply, 0, 0x65), ReplyKind::Unrelated},
        RawCase{"HeaderLengthPastEnd", withByte(cutTo(kOurReply, 24), 0, 0x4F), ReplyKind::Unrelated},
        RawCase{"IcmpCutShort", cutTo(kOurReply, 24), ReplyKind::Unrelated},
        RawCase{"Empty", Bytes{}, ReplyKind::Unrelated},
        RawCase{"HostUnreachableAboutOurs",
                ipv4Packet(kRouter, kSelf, icmpError(kIcmpDestinationUnreachableType, 1, ourRequestQuoted())),
                ReplyKind::IcmpError, kRouter},
        RawCase{"TimeExceededAboutOurs",
                ipv4Packet(kRouter, kSelf, icmpError(kIcmpTimeExceededType, 0, ourRequestQuoted())),
                ReplyKind::IcmpError, kRouter},
        RawCase{"ParameterProblemAboutOurs",
                ipv4Packet(kRouter, kSelf, icmpError(kIcmpParameterProblemType, 0, ourRequestQuoted())),
                ReplyKind::IcmpError, kRouter},
        RawCase{"UnreachableAboutAnotherIdentifier",
                ipv4Packet(kRouter, kSelf,
                           icmpError(kIcmpDestinationUnreachableType, 1, ourRequestQuoted(kIdentifier + 1))),
                ReplyKind::Unrelated},
        RawCase{"UnreachableAboutAnotherDestination",
                ipv4Packet(kRouter, kSelf,
                           icmpError(kIcmpDestinationUnreachableType, 1, ourRequestQuoted(kIdentifier, kRouter))),
                ReplyKind::Unrelated},
        RawCase{"RedirectAboutOurs", ipv4Packet(kRouter, kSelf, icmpError(5, 1, ourRequestQuoted())),
                ReplyKind::Unrelated},
        RawCase{"UnreachableQuotingTooLittle",
                ipv4Packet(kRouter, kSelf,
                           icmpError(kIcmpDestinationUnreachableType, 1, cutTo(ourRequestQuoted(), 24))),
                ReplyKind::Unrelated}),
    [](const ::testing::TestParamInfo<RawCase>& caseInfo) { return std::string(caseInfo.param.name); });

TEST(MatchPingMessageTest, TrustsTheKernelWithTheIdentifierOnly) {
    const EchoExpectation kernelOwned = expectation(IdentifierCheck::KernelOwned);
    const Bytes anyIdentifier = icmpMessage(kIcmpEchoReplyType, 0, 0x0BAD, kSequence);
    struct Case {
        const char* name;
        Bytes message;
        const char* source;
        ReplyKind kind;
    };
    const Case cases[] = {
        {"reply with the kernel's identifier", anyIdentifier, kTarget, ReplyKind::EchoReply},
        {"other sequence", icmpMessage(kIcmpEchoReplyType, 0, 0x0BAD, kSequence + 1), kTarget, ReplyKind::Unrelated},
        {"from another host", anyIdentifier, kRouter, ReplyKind::Unrelated},
        {"cut short", cutTo(anyIdentifier, 7), kTarget, ReplyKind::Unrelated},
    };
    for (const Case& testCase : cases) {
        const ReplyMatch match = matchPingMessage(testCase.message, address(testCase.source), kernelOwned);
        EXPECT_EQ(match.kind, testCase.kind) << testCase.name;
        if (testCase.kind == ReplyKind::EchoReply) {
            EXPECT_EQ(match.responder, address(kTarget));
        }
    }
}

TEST(IsOurEchoRequestTest, RecognisesTheRequestAnErrorQueueReturns) {
    const EchoExpectation kernelOwned = expectation(IdentifierCheck::KernelOwned);
    const Bytes request = icmpMessage(kIcmpEchoRequestType, 0, 0x0BAD, kSequence);
    EXPECT_TRUE(isOurEchoRequest(request, address(kTarget), kernelOwned));
    EXPECT_FALSE(isOurEchoRequest(request, address(kRouter), kernelOwned));
    EXPECT_FALSE(isOurEchoRequest(request, address(kTarget), expectation(IdentifierCheck::Ours)));
    EXPECT_FALSE(isOurEchoRequest(icmpMessage(kIcmpEchoRequestType, 0, 0x0BAD, kSequence + 1), address(kTarget),
                                  kernelOwned));
    EXPECT_FALSE(isOurEchoRequest(cutTo(request, 6), address(kTarget), kernelOwned));
}

}  // namespace
}  // namespace quorbel
