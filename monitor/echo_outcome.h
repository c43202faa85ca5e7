#pragma once

#include <cstdint>

#include "monitor/echo_probe.h"

namespace quorbel {

// Status codes of the reply record beyond those echo_probe.h names.
enum EchoErrorStatus : std::uint32_t {
    EchoPacketTooBig = 11009,
    EchoBadRoute = 11012,
    EchoTtlExpiredInTransit = 11013,
    EchoTtlExpiredInReassembly = 11014,
    EchoParameterProblem = 11015,
};

inline constexpr int kDefaultTimeoutMs = 10000;

// How one echo exchange ended.
enum class ExchangeEnd {
    Answered,     // an echo reply from the target
    IcmpError,    // an ICMP error report about our request
    TimedOut,     // nothing of ours before the deadline
    SocketError,  // send or receive failed
};

struct ExchangeOutcome {
    ExchangeEnd end = ExchangeEnd::TimedOut;
    std::uint32_t status = EchoTimedOut;
    std::uint32_t responder = 0;  // network order; 0 when nobody answered
    std::uint8_t ttl = 0;         // 0 where unknown
};

// The wait the caller asked for; 0 (and any nonsensical negative) means 10000.
int effectiveTimeoutMs(int timeoutMs);

// The probe's result: the elapsed whole milliseconds of an answered exchange
// that took no longer than the timeout, else -1.
int probeResultMs(ExchangeEnd end, std::int64_t elapsedMs, int timeoutMs);

// The reply record status for an ICMP error report, nearest code where the
// record has no exact one.
std::uint32_t statusForIcmpError(std::uint8_t type, std::uint8_t code);

// The reply record status for a failed send or receive (errno value).
std::uint32_t statusForSocketError(int error);

// The reply record an exchange leaves behind.
EchoReply echoReplyFor(const ExchangeOutcome& outcome, int resultMs);

}  // namespace quorbel
