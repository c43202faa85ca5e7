#include "monitor/echo_probe.h"

#include <netinet/in.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "monitor/echo_outcome.h"
#include "monitor/icmp_packet.h"
#include "monitor/icmp_socket.h"

namespace quorbel {
namespace {

using Clock = std::chrono::steady_clock;

// Room for the largest IPv4 packet, so no report is ever cut short.
constexpr std::size_t kReceiveBufferSize = 65536;
// Bounds the work per wake-up so a flood of foreign ICMP cannot hold the
// probe past its deadline.
constexpr int kDatagramsPerWakeUp = 64;
// More than a socket's receive queue holds.
constexpr int kMostDiscarded = 4096;
constexpr std::array<std::uint8_t, 4> kRawTypesWanted{
    kIcmpEchoReplyType, kIcmpDestinationUnreachableType, kIcmpTimeExceededType, kIcmpParameterProblemType};

struct StatusText {
    std::uint32_t status;
    const char* text;
};

constexpr StatusText kStatusTexts[] = {
    {0, "成功"},
    {11001, "缓冲区太小"},
    {11002, "目标网络不可到达"},
    {11003, "目标主机不可到达"},
    {11004, "目标协议不可到达"},
    {11005, "目标端口不可到达"},
    {11006, "没有资源"},
    {11007, "错误的选项"},
    {11009, "包太大"},
    {11010, "请求超时"},
    {11011, "请求错误"},
    {11012, "路由错误"},
    {11013, "ttl   响应超时"},
    {11014, "ttl   到达超时"},
    {11015, "参数问题"},
    {11016, "路源消失"},
    {11017, "选项太多"},
    {11018, "目标错误"},
    {11019, "地址被删除"},
    {11020, "特殊MTU改变"},
    {11021, "MTU改变"},
    {11022, "卸载"},
    {11023, "地址已增加"},
    {11050, "一般性错误"},
    {11255, "解析中"},
    {500, "Ping   超时"},
};

// Each probe takes a fresh identifier and sequence pair: unique within this
// process for 2^32 probes, and the process id keeps other processes' probes apart.
EchoTag nextEchoTag() {
    static std::atomic<std::uint32_t> counter{0};
    const std::uint32_t value = counter.fetch_add(1, std::memory_order_relaxed);
    const auto process = static_cast<std::uint32_t>(::getpid());
    return EchoTag{static_cast<std::uint16_t>(process + (value >> 16)), static_cast<std::uint16_t>(value)};
}

struct OpenedIcmpSocket {
    FileDescriptor socket;
    IcmpSocketKind kind = IcmpSocketKind::Ping;
    std::optional<std::string> failure;
};

std::string refusedSocketsReason(int pingError, int rawError) {
    std::string reason = "cannot open an ICMP socket (ping socket: " + systemErrorText(pingError) +
                         "; raw socket: " + systemErrorText(rawError) + ")";
    if (pingError == EACCES && rawError == EPERM) {
        reason += ": allow this group in net.ipv4.ping_group_range or grant CAP_NET_RAW";
    }
    return reason;
}

// A ping socket needs no privilege; a raw socket is the fallback where the
// system keeps ping sockets from this group.
OpenedIcmpSocket openAnyIcmpSocket() {
    SocketOpening ping = openIcmpSocket(IcmpSocketKind::Ping);
    if (ping.socket.valid()) return OpenedIcmpSocket{std::move(ping.socket), IcmpSocketKind::Ping, std::nullopt};
    SocketOpening raw = openIcmpSocket(IcmpSocketKind::Raw);
    if (raw.socket.valid()) return OpenedIcmpSocket{std::move(raw.socket), IcmpSocketKind::Raw, std::nullopt};
    return OpenedIcmpSocket{FileDescriptor(), IcmpSocketKind::Raw, refusedSocketsReason(ping.error, raw.error)};
}

ExchangeOutcome socketFailure(int error) {
    return ExchangeOutcome{ExchangeEnd::SocketError, statusForSocketError(error), 0, 0};
}

ExchangeOutcome icmpErrorOutcome(std::uint8_t type, std::uint8_t code, std::uint32_t responder) {
    return ExchangeOutcome{ExchangeEnd::IcmpError, statusForIcmpError(type, code), responder, 0};
}

bool nothingQueued(int error) { return error == EAGAIN || error == EWOULDBLOCK; }

// Milliseconds left until `deadline`, rounded up so the last wait does not
// end a fraction early and spin.
int remainingMs(Clock::time_point deadline) {
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<std::int64_t>(milliseconds, INT_MAX));
}

// ICMP errors about our request, as the kernel queues them (IP_RECVERR).
std::optional<ExchangeOutcome> readErrorQueue(int socket, const EchoExpectation& expectation,
                                              std::span<std::uint8_t> buffer) {
    for (int count = 0; count < kDatagramsPerWakeUp; ++count) {
        const QueuedError queued = receiveQueuedError(socket, buffer);
        if (nothingQueued(queued.error)) return std::nullopt;
        if (queued.error != 0) return socketFailure(queued.error);
        if (queued.origin == QueuedErrorOrigin::Local) return socketFailure(queued.reportedError);
        if (queued.origin == QueuedErrorOrigin::Icmp && isDeliveryErrorType(queued.type) &&
            isOurEchoRequest(buffer.first(queued.length), queued.destination, expectation)) {
            return icmpErrorOutcome(queued.type, queued.code, queued.offender);
        }
    }
    return std::nullopt;
}

std::optional<ExchangeOutcome> readPingReplies(int socket, const EchoExpectation& expectation,
                                               std::span<std::uint8_t> buffer) {
    for (int count = 0; count < kDatagramsPerWakeUp; ++count) {
        const ReceivedDatagram received = receiveDatagram(socket, buffer);
        if (nothingQueued(received.error)) return std::nullopt;
        if (received.error != 0) return socketFailure(received.error);
        const ReplyMatch match = matchPingMessage(buffer.first(received.length), received.source, expectation);
        if (match.kind == ReplyKind::EchoReply) {
            return ExchangeOutcome{ExchangeEnd::Answered, EchoSuccess, match.responder, received.ttl.value_or(0)};
        }
    }
    return std::nullopt;
}

// A raw socket may still see foreign ICMP from the target's address; only ours counts.
std::optional<ExchangeOutcome> readRawPackets(int socket, const EchoExpectation& expectation,
                                              std::span<std::uint8_t> buffer) {
    for (int count = 0; count < kDatagramsPerWakeUp; ++count) {
        const ReceivedDatagram received = receiveDatagram(socket, buffer);
        if (nothingQueued(received.error)) return std::nullopt;
        if (received.error != 0) return socketFailure(received.error);
        const ReplyMatch match = matchRawPacket(buffer.first(received.length), expectation);
        if (match.kind == ReplyKind::EchoReply) {
            return ExchangeOutcome{ExchangeEnd::Answered, EchoSuccess, match.responder, match.ttl};
        }
        if (match.kind == ReplyKind::IcmpError) return icmpErrorOutcome(match.type, match.code, match.responder);
    }
    return std::nullopt;
}

std::optional<ExchangeOutcome> readArrivals(int socket, IcmpSocketKind kind, const EchoExpectation& expectation,
                                            std::span<std::uint8_t> buffer) {
    if (auto outcome = readErrorQueue(socket, expectation, buffer)) return outcome;
    if (kind == IcmpSocketKind::Raw) return readRawPackets(socket, expectation, buffer);
    return readPingReplies(socket, expectation, buffer);
}

// Options that only sharpen the outcome, so failures are let pass: without
// them errors look like timeouts and foreign ICMP costs more work.
//
// A raw socket otherwise gets a copy of every ICMP packet the machine
// receives; connected, it gets only packets from the target, so a busy
// neighbourhood cannot fill its queue and crowd out our reply. Error reports
// from routers then arrive on the error queue, as on a ping socket.
void prepareSocket(int socket, IcmpSocketKind kind, std::uint32_t target) {
    if (kind == IcmpSocketKind::Raw) {
        blockIcmpTypesExcept(socket, kRawTypesWanted);
        connectTo(socket, target);
    } else {
        enableSocketOption(socket, IPPROTO_IP, IP_RECVTTL);
    }
    enableSocketOption(socket, IPPROTO_IP, IP_RECVERR);
}

// Until the filter and connection took hold a raw socket took in every ICMP
// packet; none of them is ours, as nothing was sent yet, and a thread
// preempted in between could find its queue too full for our reply.
void discardQueued(int socket, std::span<std::uint8_t> buffer) {
    for (int count = 0; count < kMostDiscarded; ++count) {
        if (receiveDatagram(socket, buffer).error != 0) return;
    }
}

// Sends one echo request and waits for its fate; the socket is closed on return.
ExchangeOutcome exchangeEcho(FileDescriptor socket, IcmpSocketKind kind, const EchoExpectation& expectation,
                             Clock::time_point deadline) {
    std::vector<std::uint8_t> buffer(kReceiveBufferSize);
    prepareSocket(socket.get(), kind, expectation.target);
    if (kind == IcmpSocketKind::Raw) discardQueued(socket.get(), buffer);
    if (const int error = sendDatagram(socket.get(), buildEchoRequest(expectation.tag), expectation.target)) {
        return socketFailure(error);
    }
    while (true) {
        const int waitMs = remainingMs(deadline);
        if (waitMs == 0) return ExchangeOutcome{};
        const PollResult poll = waitForInput(socket.get(), waitMs);
        if (poll.error == EINTR) continue;
        if (poll.error != 0) return socketFailure(poll.error);
        if (poll.events == 0) continue;
        if (auto outcome = readArrivals(socket.get(), kind, expectation, buffer)) return *outcome;
    }
}

}  // namespace

std::string echoStatusText(std::uint32_t status) {
    const auto* found = std::find_if(std::begin(kStatusTexts), std::end(kStatusTexts),
                                     [status](const StatusText& entry) { return entry.status == status; });
    return found != std::end(kStatusTexts) ? found->text : "未知错误";
}

ProbeResult SystemEchoProber::probe(const std::string& hostText, int timeoutMs, EchoReply& reply,
                                    std::string& statusText) {
    const int timeout = effectiveTimeoutMs(timeoutMs);
    const std::optional<std::uint32_t> target = resolveIpv4Address(hostText);
    if (!target) return ProbeResult{};
    OpenedIcmpSocket opened = openAnyIcmpSocket();
    if (!opened.socket.valid()) return ProbeResult{-1, std::move(opened.failure)};

    const IdentifierCheck identifierCheck =
        opened.kind == IcmpSocketKind::Ping ? IdentifierCheck::KernelOwned : IdentifierCheck::Ours;
    const EchoExpectation expectation{*target, nextEchoTag(), identifierCheck};
    const Clock::time_point start = Clock::now();
    const ExchangeOutcome outcome =
        exchangeEcho(std::move(opened.socket), opened.kind, expectation, start + std::chrono::milliseconds(timeout));
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();

    const int result = probeResultMs(outcome.end, elapsed, timeout);
    reply = echoReplyFor(outcome, result);
    statusText = echoStatusText(reply.status);
    return ProbeResult{result, std::nullopt};
}

int probe(const std::string& hostText, int timeoutMs, EchoReply& reply, std::string& statusText) {
    SystemEchoProber prober;
    return prober.probe(hostText, timeoutMs, reply, statusText).elapsedMs;
}

}  // namespace quorbel
