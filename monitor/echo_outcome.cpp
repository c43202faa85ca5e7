#include "monitor/echo_outcome.h"

#include <cerrno>

#include "monitor/icmp_packet.h"

namespace quorbel {
namespace {

std::uint32_t statusForUnreachableCode(std::uint8_t code) {
    switch (code) {
    case 0:   // network unreachable
    case 6:   // destination network unknown
    case 9:   // network administratively prohibited
    case 11:  // network unreachable for type of service
        return EchoDestinationNetworkUnreachable;
    case 2:
        return EchoDestinationProtocolUnreachable;
    case 3:
        return EchoDestinationPortUnreachable;
    case 4:  // fragmentation needed
        return EchoPacketTooBig;
    case 5:  // source route failed
        return EchoBadRoute;
    default:  // host unreachable, unknown, isolated, prohibited, filtered, and codes not yet assigned
        return EchoDestinationHostUnreachable;
    }
}

}  // namespace

int effectiveTimeoutMs(int timeoutMs) {
    return timeoutMs > 0 ? timeoutMs : kDefaultTimeoutMs;
}

int probeResultMs(ExchangeEnd end, std::int64_t elapsedMs, int timeoutMs) {
    if (end != ExchangeEnd::Answered || elapsedMs < 0 || elapsedMs > timeoutMs) return -1;
    return static_cast<int>(elapsedMs);
}

std::uint32_t statusForIcmpError(std::uint8_t type, std::uint8_t code) {
    switch (type) {
    case kIcmpDestinationUnreachableType:
        return statusForUnreachableCode(code);
    case kIcmpTimeExceededType:
        return code == 1 ? EchoTtlExpiredInReassembly : EchoTtlExpiredInTransit;
    case kIcmpParameterProblemType:
        return EchoParameterProblem;
    default:
        return EchoGeneralFailure;
    }
}

std::uint32_t statusForSocketError(int error) {
    switch (error) {
    case ENETUNREACH:
    case ENETDOWN:
        return EchoDestinationNetworkUnreachable;
    case EHOSTUNREACH:
    case EHOSTDOWN:
        return EchoDestinationHostUnreachable;
    case EMSGSIZE:
        return EchoPacketTooBig;
    default:
        return EchoGeneralFailure;
    }
}

EchoReply echoReplyFor(const ExchangeOutcome& outcome, int resultMs) {
    EchoReply reply;
    reply.address = outcome.responder;
    reply.status = outcome.status;
    reply.roundTripTime = resultMs >= 0 ? static_cast<std::uint32_t>(resultMs) : 0;
    reply.ttl = outcome.ttl;
    return reply;
}

}  // namespace quorbel
