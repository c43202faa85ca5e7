#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quorbel {

// Owns one file descriptor and closes it when it goes.
class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor) : descriptor_(descriptor) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept;
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int get() const { return descriptor_; }
    bool valid() const { return descriptor_ >= 0; }
    void close();

private:
    int descriptor_ = -1;
};

enum class IcmpSocketKind {
    Ping,  // SOCK_DGRAM: unprivileged where net.ipv4.ping_group_range allows
    Raw,   // SOCK_RAW: needs CAP_NET_RAW
};

struct SocketOpening {
    FileDescriptor socket;
    int error = 0;  // errno when the socket could not be opened
};

// An IPv4 ICMP socket, close-on-exec.
SocketOpening openIcmpSocket(IcmpSocketKind kind);

// The system's text for an errno value; safe from any thread.
std::string systemErrorText(int error);

// The first IPv4 address `hostText` resolves to, in network order.
std::optional<std::uint32_t> resolveIpv4Address(const std::string& hostText);

// Each returns 0 or the errno value of the failure.
int enableSocketOption(int socket, int level, int option);
int blockIcmpTypesExcept(int socket, std::span<const std::uint8_t> wantedTypes);
int connectTo(int socket, std::uint32_t destination);
int sendDatagram(int socket, std::span<const std::uint8_t> bytes, std::uint32_t destination);

struct PollResult {
    short events = 0;  // 0 when the wait timed out
    int error = 0;
};

// Waits up to `timeoutMs` for input or a pending socket error.
PollResult waitForInput(int socket, int timeoutMs);

// One datagram read without blocking. `error` is EAGAIN when none is queued.
struct ReceivedDatagram {
    std::size_t length = 0;    // bytes stored in the buffer
    std::uint32_t source = 0;  // network order
    std::optional<std::uint8_t> ttl;
    int error = 0;
};

ReceivedDatagram receiveDatagram(int socket, std::span<std::uint8_t> buffer);

enum class QueuedErrorOrigin { Icmp, Local, Other };

// One entry of the socket's error queue (IP_RECVERR), read without blocking.
// `error` is EAGAIN when the queue is empty.
struct QueuedError {
    QueuedErrorOrigin origin = QueuedErrorOrigin::Other;
    int reportedError = 0;         // errno the kernel attached to the report
    std::uint8_t type = 0;         // ICMP type and code for origin Icmp
    std::uint8_t code = 0;
    std::uint32_t offender = 0;    // who sent the report, network order
    std::uint32_t destination = 0; // where the failed packet was going, network order
    std::size_t length = 0;        // bytes of the failed packet stored in the buffer
    int error = 0;
};

QueuedError receiveQueuedError(int socket, std::span<std::uint8_t> buffer);

}  // namespace quorbel
